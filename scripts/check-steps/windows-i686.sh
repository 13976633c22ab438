# shellcheck shell=bash
# Windows i686, the home platform: a private 32-bit Wine on qemu-i386, the
# cross build, and its suite. Test programs that only the emulated loader's
# exit assertion failed are run once more by scripts/wine32-run; how often that
# happened is said here.

echo "== Windows i686: a 32-bit Wine on qemu-i386, then the build and its suite"
wine32=$PWD/build/wine32
scripts/wine32-setup "$wine32"
register_qemu_i386 "$wine32/qemu-i386"
export QEMU_LD_PREFIX=$wine32/root TARVUL_WINE32_RERUNS=$wine32/reruns.log
rm -f "$TARVUL_WINE32_RERUNS"
cmake --preset win32
cmake --build --preset win32
# Right before the suite, as for x86_64: a desktop with nothing on it closes
# within seconds, and the build would outlast it.
start_wine "$wine32/prefix" "$wine32/root/usr/lib/wine/wine64"
run_suite win32
reruns=0
[ ! -f "$TARVUL_WINE32_RERUNS" ] || reruns=$(wc -l <"$TARVUL_WINE32_RERUNS")
echo "i686: test programs run once more after the emulated loader's exit assertion: $reruns"
suites+="  win32: $reruns run(s) repeated after the emulated loader's exit assertion"$'\n'
