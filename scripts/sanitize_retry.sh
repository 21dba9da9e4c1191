# Sourced by sanitize.sh: when a failed test may be run again.
#
# Under load the leak checker's stop-the-world tracer now and then crashes at
# process exit while the GL driver's threads are in flux, after the test
# itself has passed:
#   [  PASSED  ] 1 test.
#   Tracer caught signal 11: addr=... pc=... sp=...
#   ==123==LeakSanitizer has encountered a fatal error.
# That is the checker failing, not the code, and only such a failure is worth
# another run. Any other failure is the test's own and fails at once, so a
# flaky test shows instead of passing on its second try.

# Reads one test's output on standard input; succeeds when it is that crash
# and nothing else: the test passed, the tracer crashed, and no sanitizer
# reported an error of the code.
tracer_crash_only() {
  local output
  output="$(cat)"
  grep -q 'Tracer caught signal [0-9]' <<<"$output" &&
    grep -q 'LeakSanitizer has encountered a fatal error' <<<"$output" &&
    grep -q '^\[  PASSED  \]' <<<"$output" &&
    ! grep -q '^\[  FAILED  \]' <<<"$output" &&
    ! grep -qE 'ERROR: (AddressSanitizer|LeakSanitizer|UndefinedBehaviorSanitizer)|runtime error:' <<<"$output"
}

# The names of the tests that failed in ctest's last run, one a line, from
# the build directory's Testing/Temporary/LastTestsFailed.log ("N:name").
failed_tests() {
  local log="$1/Testing/Temporary/LastTestsFailed.log"
  [ -f "$log" ] && sed -n 's/^[0-9][0-9]*://p' "$log"
}

# The output of test `name` in ctest's last run, from the build directory's
# Testing/Temporary/LastTest.log.
test_output() {
  local build="$1" name="$2"
  awk -v name="$name" '
    /^[0-9]+\/[0-9]+ Test: / { current = substr($0, index($0, " Test: ") + 7); inside = 0; next }
    current == name && $0 == "Output:" { inside = 1; getline; next }
    current == name && $0 == "<end of output>" { inside = 0; current = ""; next }
    inside { print }
  ' "$build/Testing/Temporary/LastTest.log"
}

# Succeeds when every test that failed in ctest's last run in `build` failed
# with the tracer's crash alone; names the first that did not on standard error.
only_tracer_crashes() {
  local build="$1" name found=0
  while IFS= read -r name; do
    found=1
    if ! test_output "$build" "$name" | tracer_crash_only; then
      echo "sanitize.sh: $name failed on its own, not by the leak checker's tracer crashing: not run again" >&2
      return 1
    fi
  done < <(failed_tests "$build")
  [ "$found" = 1 ]
}
