#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer into
# build-asan/ (or $NERELLE_SANITIZE_BUILD_DIR) and runs every test under them:
# unit tests, GL tests on the headless context, the program and the tools they
# start, the window under Xvfb. Any report fails its test.
# Arguments are passed to ctest (e.g. -R PolyMesh).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/setup.sh"
build="${NERELLE_SANITIZE_BUILD_DIR:-$root/build-asan}"
# -O1 keeps the instrumented build and its tests fast enough for CI.
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g -DNDEBUG" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g -DNDEBUG" \
  -DNERELLE_SANITIZE=ON -DNERELLE_BENCH=OFF >/dev/null
cmake --build "$build" --parallel "$(nproc)"

# Exported, so the programs and tools the tests start run with the same
# options. allocator_may_return_null: the code asks for large blocks with
# new (std::nothrow) or malloc and handles a null (a bitmap that cannot be
# allocated is refused with a message); the sanitizer's allocator must fail
# the way the C library's does for that handling to be tested, instead of
# aborting the process.
export ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1:check_initialization_order=1:detect_stack_use_after_return=1"
export LSAN_OPTIONS="suppressions=$root/scripts/sanitize.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
cd "$build"
# A test that fails only because the leak checker's tracer crashed at exit
# after the test had passed is run again, up to three times in all
# (sanitize_retry.sh says what that crash looks like). Any other failure ends
# the run at once: a real leak or memory error fails every attempt, and a
# flaky test must show, not pass on its second try.
. "$root/scripts/sanitize_retry.sh"
ctest=(ctest --output-on-failure --parallel "$(nproc)" --timeout 1200)
"${ctest[@]}" "$@" && exit 0
for attempt in 2 3; do
  only_tracer_crashes "$build" || exit 1
  echo "sanitize.sh: the leak checker's tracer crashed at exit; those tests once more (attempt $attempt of 3)" >&2
  "${ctest[@]}" --rerun-failed "$@" && exit 0
done
exit 1
