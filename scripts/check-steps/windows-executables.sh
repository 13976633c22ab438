# shellcheck shell=bash
# Both Windows executables, as built and as shipped: only system DLLs, ASLR and
# DEP, the version resource and the manifest.
executables=(build/win64/tarvul2semrod.exe:x86_64 build/win32/tarvul2semrod.exe:i686
             "$scratch/shipped/tarvul2semrod-$version-windows-x64/tarvul2semrod.exe:x86_64"
             "$scratch/shipped/tarvul2semrod-$version-windows-x86/tarvul2semrod.exe:i686")

echo "== Windows executables: only system DLLs, ASLR and DEP"
for build in "${executables[@]}"; do
  exe=${build%:*}
  [ -f "$exe" ] || fail "$exe is missing"
  headers=$("${build#*:}-w64-mingw32-objdump" -p "$exe")
  dlls=$(sed -n 's/^\tDLL Name: //p' <<<"$headers")
  echo "$exe: ${dlls//$'\n'/ }"
  others=$(grep -viE '^(KERNEL32|msvcrt)\.dll$' <<<"$dlls" || true)
  [ -z "$others" ] || fail "$exe needs DLLs a bare Windows lacks: $others"
  characteristics=$((16#$(sed -n 's/^DllCharacteristics\s*//p' <<<"$headers")))
  ((characteristics & 0x40)) || fail "$exe is not marked for ASLR (DYNAMIC_BASE)"
  ((characteristics & 0x100)) || fail "$exe is not marked for DEP (NX_COMPAT)"
  grep -q '\.reloc' <<<"$("${build#*:}-w64-mingw32-objdump" -h "$exe")" ||
    fail "$exe has no relocations, so ASLR cannot move it"
done

echo "== Windows executables: version resource and manifest"
IFS=. read -r major minor patch <<<"$version"
for build in "${executables[@]}"; do
  exe=${build%:*}
  resources=$("${build#*:}-w64-mingw32-windres" -i "$exe" -O rc)
  for expected in "FILEVERSION $major, $minor, $patch, 0" "PRODUCTVERSION $major, $minor, $patch, 0" \
                  "VALUE \"FileVersion\", \"$version\"" "VALUE \"ProductVersion\", \"$version\"" \
                  "VALUE \"ProductName\", \"tarvul2semrod\"" "VALUE \"OriginalFilename\", \"tarvul2semrod.exe\"" \
                  'VALUE "FileDescription"' 'level=""asInvoker""'; do
    grep -qF "$expected" <<<"$resources" || fail "$exe: the resources lack $expected"
  done
  grep -q '^1 24 /\* RT_MANIFEST \*/' <<<"$resources" || fail "$exe has no application manifest"
  supported=$(grep -c 'supportedOS Id=' <<<"$resources" || true)
  [ "$supported" -eq 4 ] || fail "$exe: the manifest names $supported systems, not Windows 7, 8, 8.1 and 10/11"
  ! grep -qi 'activeCodePage' <<<"$resources" || fail "$exe: the manifest changes the code page"
  echo "$exe: version $version, asInvoker, Windows 7 to 11"
done
