# shellcheck shell=bash
# Linux: the warning-clean build and its suite, the executable's hardening, an
# install into a scratch prefix, the ASan+UBSan suite and a short fuzz run.

echo "== build and test (warnings as errors)"
cmake --preset ci
cmake --build --preset ci
run_suite ci

echo "== the Linux executable keeps its hardening"
exe=build/ci/tarvul2semrod
core=build/ci/libtarvul2semrod_core.a
grep -qE 'Type: +DYN' <<<"$(readelf -hW "$exe")" || fail "$exe is not position-independent"
grep -q GNU_RELRO <<<"$(readelf -lW "$exe")" || fail "$exe has no RELRO segment"
grep -qE 'FLAGS.*\bNOW\b|BIND_NOW' <<<"$(readelf -dW "$exe")" || fail "$exe is not bound at start (RELRO is partial)"
core_symbols=$(nm "$core")
grep -qE ' U __stack_chk_fail$' <<<"$core_symbols" || fail "the core is built without stack protection"
grep -qE ' U __[a-z]+_chk$' <<<"$core_symbols" || fail "the core is built without _FORTIFY_SOURCE"
needed=$(readelf -dW "$exe" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | sort | paste -sd ' ')
[ "$needed" = "ld-linux-x86-64.so.2 libc.so.6 libgcc_s.so.1" ] ||
  fail "$exe loads $needed; only the C library and libgcc_s are the system's, the C++ runtime is linked in"
echo "$exe: PIE, full RELRO, stack protector, _FORTIFY_SOURCE; loads $needed"

echo "== install into a scratch prefix"
prefix="$scratch/prefix"
cmake --install build/ci --prefix "$prefix" >/dev/null
test -x "$prefix/bin/tarvul2semrod"
test -f "$prefix/share/man/man1/tarvul2semrod.1"
echo "installed: bin/tarvul2semrod share/man/man1/tarvul2semrod.1"

echo "== build and test with ASan+UBSan (clang)"
cmake --preset sanitize
cmake --build --preset sanitize
run_suite sanitize

echo "== fuzz the size check and the transfer for ${fuzz_seconds}s"
work="$scratch/corpus"
mkdir "$work"
build/sanitize/fuzz/transfer_fuzz -max_total_time="$fuzz_seconds" -max_len=8192 \
  -print_final_stats=1 "$work" fuzz/corpus 2>&1 | tail -n 12
