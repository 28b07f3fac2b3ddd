#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) in build-fuzz/ and runs each for SECONDS, one
# after the other on one core:
#   scripts/fuzz.sh [SECONDS] [TARGET...]
# Targets: datagram preferences display_element value_text xml_load (default:
# all); SECONDS defaults to 60. Each target keeps its corpus in
# build-fuzz/corpus/TARGET (started from tests/data/fuzz-seeds/TARGET and
# the past findings in tests/data/fuzz-regressions/TARGET), its findings in
# build-fuzz/findings/TARGET/ and its output in build-fuzz/logs/TARGET.log.
# A finding becomes a regression input: copy it to
# tests/data/fuzz-regressions/TARGET/ and the unit tests replay it.
#
# No target opens a socket (the datagram target calls the handler directly
# and builds announcements without sending them), so they run outside the
# test network namespace. Temporary folders go to a private folder under
# /dev/shm when it exists (the preferences target syncs every save).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
[ $# -gt 0 ] && shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(datagram preferences display_element value_text xml_load)

./scripts/install-deps.sh --fuzz
cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DLUMAREN_FUZZ=ON -DLUMAREN_TESTS=OFF >/dev/null
cmake --build build-fuzz -j2 --target "${targets[@]/#/fuzz_}"

tmp_root=/tmp
[ -d /dev/shm ] && tmp_root=/dev/shm
scratch=$(mktemp -d "$tmp_root/lumaren-fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

status=0
for target in "${targets[@]}"; do
  corpus=build-fuzz/corpus/$target
  findings=build-fuzz/findings/$target
  log=build-fuzz/logs/$target.log
  mkdir -p "$corpus" "$findings" "$(dirname "$log")"
  for seeds in tests/data/fuzz-seeds/$target tests/data/fuzz-regressions/$target; do
    [ -d "$seeds" ] && cp -n "$seeds"/* "$corpus"/ 2>/dev/null || true
  done
  # Datagrams are at most 8192 bytes; the other inputs are files or values.
  max_len=8192
  [ "$target" = value_text ] && max_len=512
  options=(-max_total_time="$seconds" -timeout=1 -rss_limit_mb=2048 -max_len="$max_len"
           -print_final_stats=1 -artifact_prefix="$findings/")
  [ "$target" = value_text ] || options+=(-dict=tests/fuzz/xml.dict)
  echo "fuzz_$target: $seconds s, log in $log"
  if ! TMPDIR=$scratch build-fuzz/fuzz/fuzz_"$target" "${options[@]}" "$corpus" >"$log" 2>&1; then
    echo "fuzz_$target: FINDING, see $log and $findings/" >&2
    status=1
  fi
  grep -E '^(#[0-9]+[[:space:]]+DONE|stat::number_of_executed_units|stat::peak_rss_mb)' "$log" || true
done
exit $status
