#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a set time, one after the other.
# Usage: fuzz/run.sh <build folder> <seconds per target> [target ...]
# Each target starts from its seed corpus (fuzz/corpus/<target>/, read only) and grows its own
# corpus in <build folder>/corpus/<target>/; inputs that break a target are written to
# <build folder>/artifacts/<target>/. Exit code 1 when any target found something.
set -uo pipefail
cd "$(dirname "$0")/.."
build="$1"
seconds="$2"
shift 2
if [ $# -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for program in "$build"/bin/fuzz_*; do
    [ -x "$program" ] && targets+=("${program##*/fuzz_}")
  done
fi
failed=0
for target in "${targets[@]}"; do
  mkdir -p "$build/corpus/$target" "$build/artifacts/$target"
  echo "== $target: ${seconds}s"
  if ! "$build/bin/fuzz_$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
      -artifact_prefix="$build/artifacts/$target/" "$build/corpus/$target" "fuzz/corpus/$target" \
      >"$build/artifacts/$target.log" 2>&1; then
    echo "   found something: see $build/artifacts/$target.log and $build/artifacts/$target/"
    failed=1
  fi
  grep -E '^#[0-9]+.*(DONE|pulse)' "$build/artifacts/$target.log" | tail -1
done
exit $failed
