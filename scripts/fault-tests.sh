#!/usr/bin/env bash
# Runs the fault and load tests on the real program. They are kept out of
# scripts/test.sh because they need root (mounts, network namespaces of
# their own) and minutes:
#   faults: from the test build (build-tests/, sanitizers on), inside a
#           private mount namespace so that their mounts stay theirs;
#   load:   from a Release build (build-release/), so that the figures are
#           the program's own speed, not the sanitizers'.
# Both run inside the private network namespace of scripts/netns.sh. The
# load tests print their figures on lines starting with "load:".
#   fault-tests.sh [faults|load|all] [gtest arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."
what=${1:-all}
[ $# -gt 0 ] && shift
case "$what" in faults|load|all) ;; *) echo "usage: fault-tests.sh [faults|load|all] [gtest arguments...]" >&2; exit 2;; esac
[ "$(id -u)" = 0 ] || { echo "fault-tests.sh: needs root (mounts and network namespaces)" >&2; exit 1; }
./scripts/install-deps.sh --tests

# The tests' own folders, never the user's; each node gets folders of its own below.
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -p "$home/config" "$home/state" "$home/runtime"
chmod 700 "$home/runtime"
export HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_STATE_HOME="$home/state" XDG_RUNTIME_DIR="$home/runtime"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

build() {  # folder, cmake options...
  local folder=$1
  shift
  cmake -S . -B "$folder" -DLUMAREN_TESTS=ON -DLUMAREN_WERROR=ON "$@" >/dev/null
  cmake --build "$folder" -j"$(nproc)" --target lumaren fault_tests
}

status=0
if [ "$what" != load ]; then
  build build-tests -DCMAKE_BUILD_TYPE=Debug -DLUMAREN_SANITIZE=ON
  LUMAREN_OUTER_MOUNT_NAMESPACE=$(readlink /proc/self/ns/mnt) ./scripts/netns.sh unshare -m --propagation private \
    build-tests/tests/fault_tests --gtest_filter='-LoadTest.*' "$@" || status=$?
fi
if [ "$what" != faults ]; then
  build build-release -DCMAKE_BUILD_TYPE=Release -DLUMAREN_SANITIZE=OFF
  ./scripts/netns.sh build-release/tests/fault_tests --gtest_filter='LoadTest.*' "$@" || status=$?
fi
exit $status
