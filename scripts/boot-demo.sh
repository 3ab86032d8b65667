#!/usr/bin/env bash
# Builds the firmware and the simulated board, then powers on the default
# board (created in ./board on first use) and boots it.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default --target bootsim
exec ./build/default/Tools/bootsim/bootsim boot "$@"
