# shellcheck shell=bash
# Helpers every step of scripts/check uses. Sourced, not run.

fail() { echo "check failed: $*" >&2; exit 1; }

# Runs one test preset and adds up its results. A failure stops the check, and
# ends its output with the suite's name and each failed test's own output, so
# that the tail of a log says what failed and how. The suites' logs are kept in
# build/check-logs, however the check ends.
passed=0 skipped=0 suites=""
check_logs=build/check-logs
run_suite() {
  local log="$check_logs/ctest-$1.log" suite_started=$SECONDS status=0
  mkdir -p "$check_logs"
  ctest --preset "$1" | tee "$log" || status=$?
  if [ "$status" -ne 0 ]; then
    echo "== suite $1 failed (ctest status $status); each failed test's output follows" >&2
    failed_test_output "build/$1/Testing/Temporary/LastTest.log" >&2
    fail "suite $1: $(sed -n 's/^[[:space:]]*[0-9]* - \(.*\)$/\1/p' "$log" | paste -sd ' ')"
  fi
  local suite_passed suite_skipped
  suite_passed=$(grep -cE 'Test +#[0-9]+: .* Passed' "$log" || true)
  suite_skipped=$(grep -cE 'Test +#[0-9]+: .*Skipped' "$log" || true)
  passed=$((passed + suite_passed))
  skipped=$((skipped + suite_skipped))
  suites+="  $1: $suite_passed passed, $suite_skipped skipped, $((SECONDS - suite_started)) s"$'\n'
}

# Prints every test of a ctest log (LastTest.log) that did not pass, whole:
# its command, its output and how it ended.
failed_test_output() {
  awk '/^[0-9]+\/[0-9]+ Testing: / { block = ""; inside = 1 }
       inside { block = block $0 "\n" }
       inside && /^"[^"]*" time elapsed: / {
         if (block !~ /\nTest Passed\.\n/) printf "%s\n", block
         inside = 0 }' "$1"
}

# A persistent Wine server and a prefix made before a suite starts: Wine's helper
# processes must not inherit the test runner's pipes, or it waits for them forever.
# No Mono or Gecko: the prefix is for console programs, and nothing may ask to
# download them.
wine_dir=/usr/lib/wine
wine_prefixes=()
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# A desktop process is started too, to serve the whole suite, which must
# follow at once (a desktop with nothing on it closes within seconds). Without
# one, Wine's console starts explorer.exe /desktop at the first key it has to
# translate, which with no display waits 10 s for a window it cannot make, and
# does so again in every console test once the last desktop has closed.
start_wine() {
  local prefix=$1 loader=$2
  mkdir -p "$prefix"
  WINEPREFIX=$prefix "$wine_dir/wineserver" -p >/dev/null 2>&1 </dev/null
  wine_prefixes+=("$prefix")
  WINEPREFIX=$prefix "$loader" wineboot --init >/dev/null 2>&1 </dev/null
  WINEPREFIX=$prefix setsid "$loader" explorer.exe /desktop >/dev/null 2>&1 </dev/null &
}

# Lets the kernel hand i386 programs (32-bit Wine's own loader and helpers) to
# qemu-i386. An enabled entry for them that is there already, made by whoever
# set the machine up, is used as it is; one made here is machine-wide, needs
# root, and is removed at the end.
binfmt=/proc/sys/fs/binfmt_misc
binfmt_entry=$binfmt/tarvul2semrod-i386
binfmt_added=
i386_magic=7f454c4601010100000000000000000002000300

# Prints the name of an enabled binfmt_misc entry for i386 programs, if any.
i386_binfmt_entry() {
  local entry
  for entry in "$binfmt"/*; do
    case ${entry##*/} in register | status) continue ;; esac
    if [ -r "$entry" ] && grep -qx enabled "$entry" && grep -qx "magic $i386_magic" "$entry"; then
      echo "${entry##*/}"
      return
    fi
  done
}

register_qemu_i386() {
  local qemu=$1 existing
  existing=$(i386_binfmt_entry)
  if [ -n "$existing" ]; then
    echo "binfmt entry $existing for i386 programs is there already; it is used, and it stays"
    return
  fi
  [ "$(id -u)" -eq 0 ] || fail "the i686 suite needs root to register qemu-i386 with binfmt_misc"
  if [ ! -e "$binfmt/register" ]; then
    mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null ||
      fail "binfmt_misc is not available here, so qemu-i386 cannot run the i686 suite"
  fi
  local magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  local mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  # F: the kernel opens the emulator now, so it works in any mount namespace.
  printf ':%s:M::%s:%s:%s:F' "$(basename "$binfmt_entry")" "$magic" "$mask" "$qemu" >"$binfmt/register" ||
    fail "could not register qemu-i386 with binfmt_misc"
  binfmt_added=yes
}

# Says first what the check will need root for, and stops before any build
# when it would need root later and does not have it: to install missing
# packages (directly, or through sudo without a password), and to register
# qemu-i386 when no entry for i386 programs is there.
need_root_for() {
  local missing=("$@") needs=() i386_entry
  i386_entry=$(i386_binfmt_entry)
  ((${#missing[@]} == 0)) || needs+=("installing ${missing[*]}")
  [ -n "$i386_entry" ] || needs+=("registering qemu-i386 with binfmt_misc for the i686 suite")
  if ((${#needs[@]} == 0)); then
    echo "== root is needed for nothing here"
    return
  fi
  local need
  need=$(printf '%s; ' "${needs[@]}")
  echo "== root is needed for: ${need%; }"
  [ "$(id -u)" -eq 0 ] && return
  if ((${#missing[@]})) && ! sudo -n true 2>/dev/null; then
    fail "not root, and sudo asks for a password: install ${missing[*]} as root first"
  fi
  [ -n "$i386_entry" ] ||
    fail "not root: register qemu-i386 for i386 programs with binfmt_misc as root first (as register_qemu_i386 in ${BASH_SOURCE[0]} does), or run the check as root"
}

# Scratch space, Wine's servers once they run, and a binfmt entry this check
# made go away however the check ends.
cleanup() {
  rm -rf "$scratch"
  for prefix in "${wine_prefixes[@]}"; do
    WINEPREFIX=$prefix "$wine_dir/wineserver" -k 2>/dev/null || true
  done
  if [ -n "$binfmt_added" ] && [ -e "$binfmt_entry" ]; then echo -1 >"$binfmt_entry" || true; fi
}

# converts_samples <what> <command...>: converts the sample data with the
# command in a scratch folder, with no terminal, and compares the result with
# the expected output. Says which program (`what`) failed and how.
converts_samples() {
  local what=$1
  shift
  local folder
  folder=$(mktemp -d "$scratch/samples.XXXX")
  cp examples/tarvul.dat examples/semrod.dat "$folder"
  (cd "$folder" && setsid --wait "$@" </dev/null >report.txt 2>&1) ||
    fail "$what: exit status $? on the sample data: $(tr -d '\r' <"$folder/report.txt" | tail -n 1)"
  cmp -s "$folder/new_semrod.dat" examples/new_semrod.expected ||
    fail "$what: new_semrod.dat differs from examples/new_semrod.expected"
  echo "$what: converts the sample data as expected"
}
