#!/usr/bin/env bash
# Installs what is missing, builds the test build (AddressSanitizer,
# UndefinedBehaviorSanitizer, warnings as errors) and runs every test inside
# a private network namespace, so no test datagram can leave this machine.
# Any arguments are handed to ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh --tests
cmake -S . -B build-tests -DCMAKE_BUILD_TYPE=Debug \
  -DLUMAREN_SANITIZE=ON -DLUMAREN_WERROR=ON -DLUMAREN_TESTS=ON >/dev/null
cmake --build build-tests -j"$(nproc)"
exec ./scripts/netns.sh ctest --test-dir build-tests --output-on-failure -j"$(nproc)" "$@"
