# Releases: scripts/release run twice from clones of the last commit, in
# different folders, minutes apart (the first run at the start of the check,
# the second at the end) and, when the check runs as root, the second as an
# unprivileged user. Both must give the same bytes. Then what ships must work:
# the checksums verify, lintian finds nothing to fix in the .deb, the programs
# are stripped, and every one of them converts the sample data.

# Clones the last commit into `folder` and runs scripts/release there, as
# `user` if one is given.
release_in() {
  local folder=$1 user=${2:-}
  # The scratch folder is private; the way down to the clone must be open to `user`.
  chmod 755 "$scratch"
  (umask 022 && mkdir -p "$(dirname "$folder")")
  git clone -q --no-local . "$folder"
  if [ -n "$user" ]; then
    chown -R "$user" "$folder"
    (cd "$folder" && setpriv --reuid="$user" --regid="$(id -g "$user")" --clear-groups \
      env HOME="$folder" scripts/release) || fail "scripts/release failed as $user in $folder"
  else
    (cd "$folder" && scripts/release) || fail "scripts/release failed in $folder"
  fi
}

release_first() {
  echo "== release, first build (as $(id -un), in $scratch/release-1)"
  release_in "$scratch/release-1/tarvul2semrod"
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
  echo "== release, second build (as ${user:-$(id -un)}, in $scratch/release-2, $((SECONDS - started)) s after the check started)"
  release_in "$scratch/release-2/elsewhere/tarvul2semrod" "$user"
  local dist=$scratch/release-1/tarvul2semrod/dist
  compare_releases "$dist" "$scratch/release-2/elsewhere/tarvul2semrod/dist"
  echo "the two builds are byte for byte the same:"
  cat "$dist/SHA256SUMS"
  (cd "$dist" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not verify"

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
    [ "$contents" = $'README.txt\ntarvul2semrod.exe' ] || fail "the $label zip holds: $contents"
    grep -q $'\r$' "$folder/README.txt" || fail "the $label zip's README.txt lacks CR LF line ends"
    # Notepad on Windows 7 takes a file without a byte-order mark for ANSI.
    ! LC_ALL=C grep -q '[^[:print:][:space:]]' "$folder/README.txt" ||
      fail "the $label zip's README.txt holds characters beyond ASCII"
  done
  local linux=$shipped/tarvul2semrod-$version-linux-x86_64
  [ "$(cd "$linux" && ls)" = $'README.txt\ntarvul2semrod\ntarvul2semrod.1' ] || fail "the tarball holds: $(ls "$linux")"
  for program in "$linux/tarvul2semrod" "$shipped/deb/usr/bin/tarvul2semrod"; do
    ! readelf -SW "$program" | grep -qE '\.(symtab|debug_)' || fail "$program is not stripped"
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
