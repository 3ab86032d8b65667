#!/usr/bin/env bash
# Builds and runs the whole test suite: the host build, the same under
# AddressSanitizer and UndefinedBehaviorSanitizer, the 32-bit ARM build under
# qemu-arm, and a short run of every fuzzer.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
for preset in default asan armhf fuzz; do
  echo "== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  echo "== $preset: tests"
  ctest --preset "$preset"
done
