#!/usr/bin/env bash
# Builds and runs the whole test suite: host preset, then the 32-bit ARM
# preset under qemu-arm.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
for preset in default armhf; do
  echo "== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  echo "== $preset: tests"
  ctest --preset "$preset"
done
