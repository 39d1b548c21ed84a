#!/usr/bin/env bash
# Builds the benchmarks and runs them against a private MariaDB server that
# lives in $BUILD_DIR/benchdb for the length of the run, printing their
# figures. BUILD_DIR defaults to build/ (a relative path is taken from the
# repository root). It loads journals of up to a million lines for each
# benchmark, then one of ten million lines (BENCH_LINES) that they share:
# the console and the movements are measured on it without the recommended
# indexes, the reports without and then with them (report_bench makes them),
# then the console and the movements again. About a quarter of an hour.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-build}
case $build in
  /*) ;;
  *) build=$root/$build ;;
esac
benchmarks=(console_bench movement_bench report_bench web_bench)

"$root/scripts/deps.sh"
cmake -S "$root" -B "$build" -G Ninja >/dev/null
cmake --build "$build" -j2 --target "${benchmarks[@]}"

source "$root/scripts/testserver.sh"
start_test_server "$build/benchdb" granovia_bench granovia-bench

for benchmark in "${benchmarks[@]}"; do
  QT_QPA_PLATFORM=offscreen "$build/bench/$benchmark"
done

lines=${BENCH_LINES:-10000000}
for benchmark in console_bench movement_bench report_bench console_bench movement_bench; do
  echo
  echo "== $benchmark on the shared journal of $lines lines"
  GRANOVIA_BENCH_LINES=$lines QT_QPA_PLATFORM=offscreen "$build/bench/$benchmark"
done
