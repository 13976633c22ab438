# shellcheck shell=bash
# Windows x86_64: the cross build and its suite under Debian's wine64.

echo "== Windows x86_64: build, then the suite under Wine"
cmake --preset win64
cmake --build --preset win64
start_wine "$PWD/build/wine-prefix" "$wine_dir/wine64"
run_suite win64
