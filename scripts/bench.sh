#!/usr/bin/env bash
# Builds the benchmarks (Release, no sanitizers) in build-bench/ and runs
# them inside a private network namespace, printing one table: every figure
# beside the floor it is judged against, measured in the same run. Takes a
# few minutes; run it on a quiet machine (the table shows the load average).
#   scripts/bench.sh [--quick]   --quick: shortened runs, for trying it out
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh --tests
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DLUMAREN_BENCH=ON -DLUMAREN_TESTS=OFF \
  -DLUMAREN_SANITIZE=OFF >/dev/null
cmake --build build-bench -j"$(nproc)" --target lumaren_bench
exec ./scripts/netns.sh build-bench/bin/lumaren_bench "$@"
