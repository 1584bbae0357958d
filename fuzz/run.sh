#!/usr/bin/env bash
# Runs one fuzz target for a given time and prints its executions, coverage and crashes.
#   fuzz/run.sh TARGET SECONDS     TARGET: profile, sysfile, region_list or number_text
# Builds the targets with clang in build-fuzz/ when needed (QUILLMAP_FUZZ_BUILD names another
# folder). One process, at low priority. New inputs go to a working corpus in the build folder,
# the seeds in fuzz/corpus/ stay as they are; crashing inputs land in build-fuzz/artifacts/.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
if [ $# -ne 2 ]; then
  echo "usage: $0 TARGET SECONDS   (TARGET: profile, sysfile, region_list, number_text)" >&2
  exit 2
fi
target="${1%_fuzzer}"
seconds="$2"
build="${QUILLMAP_FUZZ_BUILD:-$top/build-fuzz}"
seeds="$top/fuzz/corpus/$target"
if [ ! -d "$seeds" ]; then
  echo "no fuzz target '$target'" >&2
  exit 2
fi

if [ ! -f "$build/build.ninja" ]; then
  CC=clang CXX=clang++ cmake -S "$top" -B "$build" -G Ninja -DQUILLMAP_FUZZ=ON \
    -DQUILLMAP_BUILD_TESTS=OFF -DQUILLMAP_BUILD_BENCH=OFF >/dev/null
fi
cmake --build "$build" -j 2 --target "${target}_fuzzer" >/dev/null

work="$build/corpus-work/$target"
artifacts="$build/artifacts/$target"
log="$build/logs/$target-$(date +%Y%m%d-%H%M%S).log"
mkdir -p "$work" "$artifacts" "$(dirname "$log")"
# Slow inputs are written there too; only these count as findings.
findings() {
  find "$artifacts" -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' \
    -o -name 'oom-*' \) | wc -l
}
before=$(findings)

# The regression inputs run first, so a finding that comes back stops the run at once.
regressions="$top/fuzz/regressions/$target"
extra=()
[ -d "$regressions" ] && extra+=("$regressions")
set +e
nice -n 10 "$build/fuzz/${target}_fuzzer" "$work" "$seeds" "${extra[@]}" \
  -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 \
  -max_len=65536 -print_final_stats=1 -artifact_prefix="$artifacts/" >"$log" 2>&1
status=$?
set -e

executions=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)
coverage=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -1 || true)
after=$(findings)
echo "target:      $target"
echo "seconds:     $seconds"
echo "executions:  ${executions:-unknown}"
echo "coverage:    ${coverage:-unknown}"
echo "corpus:      $(find "$work" -type f | wc -l) inputs in $work"
echo "findings:    $((after - before)) new in $artifacts"
echo "exit status: $status (log: $log)"
[ "$status" -eq 0 ]
