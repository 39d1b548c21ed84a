#!/usr/bin/env bash
# Builds the Debian package granovia-silo_<version>_<arch>.deb for the
# operators' machines and prints its path. It builds only the program, in
# build/ (BUILD_DIR as for bench.sh), and leaves the package in its package/
# folder.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-build}
case $build in
  /*) ;;
  *) build=$root/$build ;;
esac

"$root/scripts/deps.sh"
cmake -S "$root" -B "$build" -G Ninja >/dev/null
cmake --build "$build" -j2 --target granovia-silo
rm -f "$build"/package/granovia-silo_*.deb
(cd "$build" && cpack -G DEB -B "$build/package" >/dev/null)
ls "$build"/package/granovia-silo_*.deb
