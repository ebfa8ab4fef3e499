#!/usr/bin/env bash
# Runs every reader fuzz harness of a fuzz build folder for a set time each,
# starting from the committed seeds; fails when any harness finds a crash.
#   tests/fuzz/run_fuzz.sh [build folder] [seconds per harness] [harness ...]
# New inputs go to <build>/fuzz-corpus/<kind>, crashing inputs to
# <build>/fuzz-artifacts/<kind>-crash-*; a crash reproduces with
#   PLUVO_FUZZ_VERBOSE=1 <build>/tests/fuzz/fuzz_<kind> <crash file>
set -uo pipefail
cd "$(dirname "$0")/../.."
build=$(realpath -m "${1:-build-fuzz}")
seeds=$(realpath tests/fuzz/corpus)
seconds=${2:-30}
shift $(( $# < 2 ? $# : 2 ))
kinds=("$@")
if [ ${#kinds[@]} -eq 0 ]; then
  kinds=(project grid_map mapping_table series replace precip channel grid_stream
         hmet stormdrain analyzer study aquatic lowspots point_sources sacramento richards
         lakes pumps)
fi

failed=()
for kind in "${kinds[@]}"; do
  harness="$build/tests/fuzz/fuzz_$kind"
  if [ ! -x "$harness" ]; then
    echo "missing harness $harness" >&2
    failed+=("$kind")
    continue
  fi
  mkdir -p "$build/fuzz-corpus/$kind" "$build/fuzz-artifacts"
  echo "== fuzz_$kind for ${seconds} s"
  if ! "$harness" -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$build/fuzz-artifacts/$kind-" \
      "$build/fuzz-corpus/$kind" "$seeds/$kind" >"$build/fuzz-$kind.log" 2>&1; then
    failed+=("$kind")
    tail -n 40 "$build/fuzz-$kind.log"
  fi
  grep -E "^(stat::number_of_executed_units|stat::new_units_added)" "$build/fuzz-$kind.log" || true
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing found crashes in: ${failed[*]} (inputs in $build/fuzz-artifacts)" >&2
  exit 1
fi
echo "fuzzing: no crash in ${kinds[*]}"
