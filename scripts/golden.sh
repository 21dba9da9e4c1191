#!/usr/bin/env bash
# Regenerates the golden-image references (tests/golden/references/*.png)
# after an intended change of the picture: builds golden_tests into build/
# (or $NERELLE_BUILD_DIR), runs it with NERELLE_GOLDEN_UPDATE=1, which makes
# each view write its render there instead of comparing, then runs it once
# more as CTest does, so the new references are known to pass. Look at the
# images (and `git diff --stat`) before committing them.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${NERELLE_BUILD_DIR:-$root/build}"
"$root/scripts/build.sh" golden_tests
program="$build/tests/golden/golden_tests"
NERELLE_GOLDEN_UPDATE=1 "$program" --gtest_brief=1
"$program" --gtest_brief=1
git -C "$root" status --short -- tests/golden/references
