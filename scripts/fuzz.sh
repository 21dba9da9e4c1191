#!/usr/bin/env bash
# Builds every fuzz target with clang and libFuzzer (under ASan and UBSan) into
# build-fuzz/ (or $NERELLE_FUZZ_BUILD_DIR) and runs each for a bounded time on
# top of its seed corpus:
#
#   scripts/fuzz.sh [SECONDS-PER-TARGET] [TARGET...]   (default 20 s, every target)
#
# New corpus entries go to build-fuzz/corpus/<target>/, kept between runs, never
# into the tree. A crash, timeout, leak or memory blow-up is copied into the
# target's corpus under crashes/, which the replay tests of the ordinary build
# run from then on; commit it with the fix. Exits non-zero on any finding.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:-20}"
[ $# -gt 0 ] && shift
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: scripts/fuzz.sh [SECONDS-PER-TARGET] [TARGET...]" >&2
  exit 2
fi
"$root/scripts/setup.sh"
build="${NERELLE_FUZZ_BUILD_DIR:-$root/build-fuzz}"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DNERELLE_FUZZ=ON -DNERELLE_TESTS=OFF -DNERELLE_BENCH=OFF >/dev/null
cmake --build "$build" --parallel "$(nproc)" --target fuzzers

declare -A program corpus
names=()
while IFS=$'\t' read -r name path dir; do
  program[$name]="$path"
  corpus[$name]="$dir"
  names+=("$name")
done <"$build/fuzz_targets.txt"
if [ $# -gt 0 ]; then
  for name in "$@"; do
    if [ -z "${program[$name]:-}" ]; then
      echo "error: no fuzz target $name; there are: ${names[*]}" >&2
      exit 2
    fi
  done
  names=("$@")
fi

# Leaks count as findings; a failed allocation is one too (libFuzzer's
# -rss_limit_mb and -malloc_limit_mb report it), not a null to handle.
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

findings=()
for name in "${names[@]}"; do
  work="$build/corpus/$name"
  artifacts="$build/artifacts/$name"
  log="$build/logs/$name.log"
  mkdir -p "$work" "$artifacts" "$(dirname "$log")"
  rm -f "$artifacts"/*
  seeds=()
  [ -n "${corpus[$name]}" ] && seeds+=("${corpus[$name]}")
  start=$(date +%s)
  status=0
  "${program[$name]}" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$artifacts/" "$work" "${seeds[@]}" >"$log" 2>&1 || status=$?
  runs=$(grep -o '^stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)
  echo "$name: ${runs:-?} executions in $(($(date +%s) - start)) s, status $status (log: $log)"
  found=("$artifacts"/*)
  if [ $status -ne 0 ] || [ -e "${found[0]}" ]; then
    findings+=("$name")
    grep -E '^(==[0-9]+==ERROR|SUMMARY|.*runtime error)' "$log" | head -n 5 >&2 || true
    if [ -e "${found[0]}" ] && [ -n "${corpus[$name]}" ]; then
      mkdir -p "${corpus[$name]}/crashes"
      cp "${found[@]}" "${corpus[$name]}/crashes/"
      echo "  reproducer kept in ${corpus[$name]#"$root/"}/crashes/: $(basename -a "${found[@]}" | tr '\n' ' ')" >&2
    fi
  fi
done
if [ ${#findings[@]} -gt 0 ]; then
  echo "fuzzing found faults in: ${findings[*]}" >&2
  exit 1
fi
echo "fuzzing: no finding in ${#names[@]} targets, $seconds s each"
