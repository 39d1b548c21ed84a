#!/usr/bin/env bash
# Builds the program and runs the whole test suite against a private MariaDB
# server that lives in build/testdb for the length of the run.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build

"$root/scripts/deps.sh"
cmake -S "$root" -B "$build" -G Ninja >/dev/null
cmake --build "$build" -j2

source "$root/scripts/testserver.sh"
start_test_server "$build/testdb" granovia_test granovia-test

cd "$build"
# Tests that look at real windows get an X server of their own, with a
# window manager on it.
xvfb-run -a -s "-screen 0 1280x1024x24" "$root/scripts/with-wm.sh" ctest --output-on-failure -j2 "$@"
