#!/usr/bin/env bash
# Installs what only the benchmarks use: OpenCV, the peer the frame analysis
# is measured against. The program itself never needs it. Safe to run again.
set -euo pipefail

packages=(libopencv-dev)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-bench-deps: all ${#packages[@]} packages present"
  exit 0
fi

echo "install-bench-deps: installing ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "install-bench-deps: run as root or install sudo" >&2; exit 1; }
  sudo=sudo
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
