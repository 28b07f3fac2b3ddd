#!/usr/bin/env bash
# Installs what is missing, builds, and starts the display node.
# Any arguments are handed to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMAREN_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)"
exec build/bin/lumaren "$@"
