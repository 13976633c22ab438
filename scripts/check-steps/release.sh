# shellcheck shell=bash
# Releases: scripts/release run twice from clones of the last commit, in
# different folders, minutes apart (the first run at the start of the check,
# the second at the end). The second clone converts line ends to CR LF, lies in
# a folder whose name holds blanks and other characters, is reached through a
# link and, when the check runs as root, is built by an unprivileged user. Both
# must give the same bytes, with no trace of either folder. Then what ships must
# work: the checksums verify, lintian finds nothing to fix in the .deb, the
# programs are stripped and need no newer C library than they promise, every
# archive and the .deb's copyright carry the notices for what the program
# links, the build record names the commit, and every program converts the
# sample data. The second release runs in an environment set against it, which
# the release must shut out.

# The oldest GNU C Library the Linux program may need: Debian 12, Ubuntu 22.04,
# RHEL 9 and later have it.
glibc_floor=2.34

# Set for the second release: every variable that compilers, CMake, gzip, xz or
# dpkg-deb would take, a foreign language and time zone, and a wrong time.
# shellcheck disable=SC2054  # the commas are the linker's
hostile_environment=(GZIP=--rsyncable DPKG_DEB_COMPRESSOR_TYPE=gzip DPKG_DEB_COMPRESSOR_LEVEL=1
  XZ_OPT=-0 XZ_DEFAULTS=-1e CC=clang CXX=clang++ CFLAGS=-O0 CXXFLAGS="-O0 -DHOSTILE"
  CPPFLAGS=-DHOSTILE LDFLAGS=-Wl,--build-id=none CMAKE_BUILD_TYPE=Debug
  CMAKE_GENERATOR="Unix Makefiles" CMAKE_EXPORT_COMPILE_COMMANDS=ON MAKEFLAGS=-j1
  LC_ALL=tr_TR.UTF-8 TZ=Pacific/Kiritimati SOURCE_DATE_EPOCH=1)

# release_in <folder> <user> [NAME=value...] [clone options...]: clones the last
# commit into `folder` and runs scripts/release there, as `user` (empty for the
# current one), with the variables given set, under umask 077. The folder is
# entered by the name given, links and all.
release_in() {
  local folder=$1 user=$2 environment=()
  shift 2
  while [[ $# -gt 0 && $1 == [A-Z]*=* ]]; do
    environment+=("$1")
    shift
  done
  # The scratch folder is private; the way down to the clone must be open to `user`.
  chmod 755 "$scratch"
  (umask 022 && mkdir -p "$(dirname "$folder")")
  git clone -q --no-local "$@" . "$folder"
  if [ -n "$user" ]; then
    chown -R "$user" "$folder"
    (cd "$folder" && umask 077 && setpriv --reuid="$user" --regid="$(id -g "$user")" --clear-groups \
      env HOME="$folder" "${environment[@]}" scripts/release) || fail "scripts/release failed as $user in $folder"
  else
    (cd "$folder" && umask 077 && env "${environment[@]}" scripts/release) ||
      fail "scripts/release failed in $folder"
  fi
}

# names_every_linked_library <link map> <notices>: fails unless the notices
# name every library and start file the link took from the system, with the
# Debian source package and version it came from. The list comes from the link
# map, never from the notices.
names_every_linked_library() {
  local map=$1 notices=$2 path package source built_from
  local linked text
  linked=$(sed -nE 's/^(\/[^ ]+\.a)\(.*/\1/p; s/^LOAD (\/[^ ]+\.o)$/\1/p' "$map" | sort -u)
  [ -n "$linked" ] || fail "$map names no library"
  text=$(tr -d '\r' <"$notices")
  while read -r path; do
    package=$(dpkg-query -S "$(realpath "$path")" | cut -d: -f1)
    source=$(dpkg-query -W -f='${source:Package}, version ${source:Version}' "$package")
    # Debian's cross compilers build their runtime from GCC's own source.
    built_from=$(dpkg-query -W -f='${Built-Using}' "$package" | grep -oE 'gcc-[0-9]+ \(= [^)]+\)' || true)
    if [[ $source == gcc-mingw-w64,* && -n $built_from ]]; then
      source=$(sed -E 's/ \(= (.*)\)$/, version \1/' <<<"$built_from")
    fi
    grep -qE "^ +Linked in: (.*, )?$(basename "$path" | sed 's/[.+]/\\&/g')(,|$)" <<<"$text" ||
      fail "$notices does not name $(basename "$path"), which the program links"
    grep -qF "Source: Debian source package $source" <<<"$text" ||
      fail "$notices does not name the source of $path ($source)"
  done <<<"$linked"
}

# holds_every_license_text <notices>: fails unless every license text that the
# notices point to in /usr/share/common-licenses follows in the file itself, as
# a Windows user has no such folder.
holds_every_license_text() {
  local notices=$1 path text
  while read -r path; do
    text=$(basename "$(realpath "$path")")
    grep -aq "^License text: $text"$'\r'"\?$" "$notices" ||
      fail "$notices points to $path, but does not hold the text of $text"
  done < <(grep -aoE '/usr/share/common-licenses/[A-Za-z0-9][A-Za-z0-9.+-]*[A-Za-z0-9+]' "$notices" | sort -u)
}

release_first() {
  echo "== release, first build (as $(id -un), in $scratch/release-1)"
  release_in "$scratch/release-1/tarvul2semrod" ""
}

# Names each artifact that differs and the members in which it differs.
compare_releases() {
  local first=$1 second=$2 differing=0
  for artifact in "$first"/*; do
    local name=${artifact##*/}
    cmp -s "$artifact" "$second/$name" && continue
    differing=$((differing + 1))
    echo "$name differs between the two builds:" >&2
    if [ "$name" != SHA256SUMS ] && [ -f "$second/$name" ]; then
      diff <(scripts/normalised-archive --list "$artifact") <(scripts/normalised-archive --list "$second/$name") |
        head -n 20 >&2 || true
    fi
  done
  [ "$(ls "$first")" = "$(ls "$second")" ] || fail "the two builds made different files: $(ls "$first") / $(ls "$second")"
  [ "$differing" -eq 0 ] || fail "$differing release artifact(s) differ between the two builds"
}

release_second() {
  local user=
  [ "$(id -u)" -ne 0 ] || user=nobody
  local real="$scratch/release-2/a folder, with blanks & 'quotes' = ü" link=$scratch/release-2/link
  mkdir -p "$real"
  ln -s "$real" "$link"
  echo "== release, second build (as ${user:-$(id -un)}, CR LF clone, hostile environment, in $link -> $real, $((SECONDS - started)) s after the check started)"
  release_in "$link/tarvul2semrod" "$user" "${hostile_environment[@]}" -c core.autocrlf=true
  local first=$scratch/release-1/tarvul2semrod second=$link/tarvul2semrod dist=$scratch/release-1/tarvul2semrod/dist
  compare_releases "$dist" "$second/dist"
  echo "the two builds are byte for byte the same:"
  cat "$dist/SHA256SUMS"
  (cd "$dist" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not verify"
  local buildinfo=$dist/tarvul2semrod-$version-buildinfo.txt
  grep -qF "  $(basename "$buildinfo")" "$dist/SHA256SUMS" || fail "SHA256SUMS does not list the build record"
  grep -qx "commit: $(git rev-parse HEAD)" "$buildinfo" || fail "the build record does not name the commit"
  grep -qE '^  libc6-dev [^ ]+ \(amd64\)$' "$buildinfo" || fail "the build record names no libc6-dev"
  local checkouts=("$first" "$(cd -P "$first" && pwd)" "$second" "$real/tarvul2semrod")

  echo "== release: lintian on the .deb"
  lintian --fail-on error,warning "$dist/tarvul2semrod_${version}_amd64.deb" ||
    fail "lintian finds errors or warnings in the .deb"

  echo "== release: what ships is stripped and converts the sample data"
  shipped=$scratch/shipped
  mkdir -p "$shipped"
  tar -xzf "$dist/tarvul2semrod-$version-linux-x86_64.tar.gz" -C "$shipped"
  dpkg -x "$dist/tarvul2semrod_${version}_amd64.deb" "$shipped/deb"
  for label in x86 x64; do
    python3 -m zipfile -e "$dist/tarvul2semrod-$version-windows-$label.zip" "$shipped"
    local folder=$shipped/tarvul2semrod-$version-windows-$label contents
    contents=$(cd "$folder" && ls)
    [ "$contents" = $'NOTICES.txt\nREADME.txt\ntarvul2semrod.exe' ] || fail "the $label zip holds: $contents"
    for text in README.txt NOTICES.txt; do
      ! grep -q $'[^\r]$' "$folder/$text" || fail "the $label zip's $text has lines without CR LF"
    done
    # Notepad on Windows 7 takes a file without a byte-order mark for ANSI.
    ! LC_ALL=C grep -q '[^[:print:][:space:]]' "$folder/README.txt" ||
      fail "the $label zip's README.txt holds characters beyond ASCII"
    [ "$(head -c 3 "$folder/NOTICES.txt")" = $'\xef\xbb\xbf' ] ||
      fail "the $label zip's NOTICES.txt lacks the byte-order mark that marks it UTF-8"
  done
  local linux=$shipped/tarvul2semrod-$version-linux-x86_64
  [ "$(cd "$linux" && ls)" = $'NOTICES.txt\nREADME.txt\ntarvul2semrod\ntarvul2semrod.1' ] ||
    fail "the tarball holds: $(ls "$linux")"
  names_every_linked_library "$second/build/release/linux/tarvul2semrod.map" "$linux/NOTICES.txt"
  names_every_linked_library "$second/build/release/linux/tarvul2semrod.map" \
    "$shipped/deb/usr/share/doc/tarvul2semrod/copyright"
  names_every_linked_library "$second/build/release/win32/tarvul2semrod.map" \
    "$shipped/tarvul2semrod-$version-windows-x86/NOTICES.txt"
  names_every_linked_library "$second/build/release/win64/tarvul2semrod.map" \
    "$shipped/tarvul2semrod-$version-windows-x64/NOTICES.txt"
  for notices in "$linux/NOTICES.txt" "$shipped"/tarvul2semrod-"$version"-windows-*/NOTICES.txt; do
    holds_every_license_text "$notices"
  done
  # Neither checkout's path, by either name, nor the folder the release was
  # built in, in anything shipped or in the unstripped programs kept for debugging.
  local traces
  traces=$(grep -rlaF -e "${checkouts[0]}" -e "${checkouts[1]}" -e "${checkouts[2]}" -e "${checkouts[3]}" \
    -e "/tarvul2semrod-release." "$shipped" "$first/build/release"/{linux,win32,win64}/tarvul2semrod* \
    "$second/build/release"/{linux,win32,win64}/tarvul2semrod* --exclude='*.map' || true)
  [ -z "$traces" ] || fail "a builder's path is in: $traces"
  echo "no builder's path in what ships or in the unstripped programs; every archive names what it links"
  for program in "$linux/tarvul2semrod" "$shipped/deb/usr/bin/tarvul2semrod"; do
    ! readelf -SW "$program" | grep -qE '\.(symtab|debug_)' || fail "$program is not stripped"
    local newest
    newest=$(readelf -W --dyn-syms "$program" | grep -oE '@GLIBC_[0-9.]+' | cut -d_ -f2 | sort -V | tail -n 1)
    [ -n "$newest" ] || fail "$program needs no versioned C library symbol: is it linked as it should be?"
    [ "$(printf '%s\n' "$newest" "$glibc_floor" | sort -V | tail -n 1)" = "$glibc_floor" ] ||
      fail "$program needs GLIBC_$newest, newer than the GLIBC_$glibc_floor it promises"
    echo "$program: needs GLIBC_$newest at most"
  done
  for exe in "$shipped"/tarvul2semrod-*-windows-*/tarvul2semrod.exe; do
    ! x86_64-w64-mingw32-objdump -h "$exe" | grep -qE '\.debug_' || fail "$exe is not stripped"
  done
  converts_samples "tarball's tarvul2semrod" "$linux/tarvul2semrod"
  converts_samples ".deb's tarvul2semrod" "$shipped/deb/usr/bin/tarvul2semrod"
  WINEPREFIX=$PWD/build/wine-prefix converts_samples "x64 zip's tarvul2semrod.exe under wine64" \
    "$wine_dir/wine64" "$shipped/tarvul2semrod-$version-windows-x64/tarvul2semrod.exe"
  WINEPREFIX=$PWD/build/wine32/prefix converts_samples "x86 zip's tarvul2semrod.exe under 32-bit Wine on qemu-i386" \
    "$PWD/build/wine32/root/usr/lib/wine/wine" "$shipped/tarvul2semrod-$version-windows-x86/tarvul2semrod.exe"
}
