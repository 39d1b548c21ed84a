#!/usr/bin/env bash
# Builds the benchmarks and runs them against a private MariaDB server that
# lives in $BUILD_DIR/benchdb for the length of the run, printing their
# figures. BUILD_DIR defaults to build/ (a relative path is taken from the
# repository root). Takes a few minutes: it loads journals of up to a million
# lines.
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
