#!/usr/bin/env bash
# Installs what Lumaren needs to build and run, from Debian's packages.
# Quick when everything is there: it asks dpkg first and runs apt-get only
# for what is missing.
#   install-deps.sh [--tests | --fuzz]
set -euo pipefail

packages=(g++ cmake make pkg-config qt6-base-dev qt6-qpa-plugins libgl-dev
          libpugixml-dev libzip-dev fonts-liberation)
if [ "${1:-}" = "--tests" ]; then
  packages+=(libgtest-dev libgmock-dev iproute2 util-linux unzip)
fi
if [ "${1:-}" = "--fuzz" ]; then
  packages+=(clang libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$status" = installed ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
if [ "$(id -u)" != 0 ]; then
  command -v sudo >/dev/null || { echo "Need root or sudo to install: ${missing[*]}" >&2; exit 1; }
  sudo=(sudo)
fi
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
