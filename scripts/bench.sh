#!/usr/bin/env bash
# The benchmark in one command: installs what is missing, builds ztn_bench,
# runs it, and writes the table, every figure as JSON and the chart as PNG.
#
#   scripts/bench.sh            # full run: several minutes, the figures to quote
#   scripts/bench.sh --quick    # every case once with few iterations (a check, not figures)
#
# Any other option goes to ztn_bench (see build/bin/ztn_bench --help).
# Output in ${BENCH_OUT:-build/bench-results}/: table.txt, results.json,
# roundtrip.tsv (chart data) and roundtrip.png. Run it on an otherwise quiet
# machine; the figures that matter are the ratios within one run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
build=${BUILD_DIR:-build}
werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
cmake -S . -B "$build" -G Ninja -DZTN_WERROR=$werror -DZTN_BUILD_BENCHMARKS=ON >/dev/null
ninja -C "$build" ztn_bench linkmod >/dev/null

out=${BENCH_OUT:-$build/bench-results}
mkdir -p "$out"
status=0
# Which code the figures belong to.
{ echo "Code: $(git rev-parse --short HEAD 2>/dev/null || echo unknown)$(git diff --quiet HEAD -- platform linkmod support 2>/dev/null || echo ' (with uncommitted changes)')"; } \
  | tee "$out/code.txt"
"$build/bin/ztn_bench" --json "$out/results.json" --chart-data "$out/roundtrip.tsv" "$@" \
  | tee "$out/table.txt" || status=$?

if [ -s "$out/roundtrip.tsv" ]; then
  machine=$(sed -n 's/^Machine: //p' "$out/table.txt" | head -1 | tr -d "'")
  gnuplot -e "datafile='$out/roundtrip.tsv'; outfile='$out/roundtrip.png'; machine='$machine'" \
    benchmarks/roundtrip_chart.gp
  echo "wrote $out/table.txt, $out/results.json, $out/roundtrip.png"
fi
exit $status
