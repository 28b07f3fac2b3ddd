#!/usr/bin/env bash
# Runs a command inside a private network namespace: loopback up,
# 255.255.255.255 routed to loopback, and a veth pair (lan0 10.77.0.2/24,
# lan1 10.77.0.1/24) so that adapter enumeration sees a real adapter. The
# namespace has no way out, so nothing sent inside reaches a real network.
# When no namespace can be made it fails; it never runs the command outside.
#   netns.sh COMMAND [ARG...]
set -euo pipefail
[ $# -gt 0 ] || { echo "usage: netns.sh COMMAND [ARG...]" >&2; exit 2; }

if [ "${LUMAREN_NETNS_INSIDE:-}" = 1 ]; then
  unset LUMAREN_NETNS_INSIDE
  fail() { echo "netns.sh: $*; refusing to run outside a private network" >&2; exit 1; }
  # A fresh namespace holds only loopback; anything else means we are not in one.
  others=$(ip -o link show | awk -F': ' '{print $2}' | grep -v '^lo$' || true)
  [ -z "$others" ] || fail "unexpected interfaces in the namespace: $others"
  ip link set lo up || fail "cannot bring loopback up"
  ip link add lan0 type veth peer name lan1 || fail "cannot create the veth pair"
  ip link set lan0 address 02:00:0a:4d:00:02
  ip addr add 10.77.0.2/24 dev lan0
  ip addr add 10.77.0.1/24 dev lan1
  ip link set lan0 up
  ip link set lan1 up
  ip route add broadcast 255.255.255.255 dev lo src 127.0.0.1 table local \
    || fail "cannot route 255.255.255.255 to loopback"
  exec "$@"
fi

if [ "$(id -u)" = 0 ]; then
  unshare_args=(-n)
else
  unshare_args=(-rn)
fi
if ! env LUMAREN_NETNS_INSIDE=1 unshare "${unshare_args[@]}" true 2>/dev/null; then
  echo "netns.sh: cannot create a private network namespace (unshare ${unshare_args[*]} failed)." >&2
  echo "The tests broadcast to 255.255.255.255 and must not run on a real network." >&2
  exit 1
fi
exec env LUMAREN_NETNS_INSIDE=1 unshare "${unshare_args[@]}" "$0" "$@"
