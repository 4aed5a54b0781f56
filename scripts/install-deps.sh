#!/usr/bin/env bash
# Installs every Debian package VIREN needs to build, run and test, and only
# those that are missing. Safe to run again and again. With package names as
# arguments it installs those the same way.
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkg-config clang-format git
  # the fuzz targets (make fuzz): clang with libFuzzer and the sanitizers
  clang libclang-rt-14-dev
  # window, drawing and Japanese texts
  qt6-base-dev libgl-dev fonts-ipafont-gothic
  qt6-translations-l10n  # Qt's own dialogs in Japanese
  libxcb1-dev  # drawing into another program's window on X11
  # capture and sound
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-tools
  # H.264 and other common camera and phone videos (MP4, MOV, MKV) play
  # through libav's decoders; the tests write their H.264 MP4 with x264enc
  gstreamer1.0-libav gstreamer1.0-plugins-ugly
  libfluidsynth-dev timgm6mb-soundfont
  libfftw3-dev  # the ball search's correlation
  libspdlog-dev  # the diagnostic log (--log FILE)
  # viren-bridge: the broker client library, the broker and its command-line
  # clients (tests, README), and the Python client's MQTT example
  libmosquitto-dev mosquitto mosquitto-clients python3-paho-mqtt
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev socat xvfb xauth sox python3
  openssl  # certificates for the bridge's TLS test
)

# Given package names, install those instead (the benchmarks' extras).
if [ $# -gt 0 ]; then
  packages=("$@")
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all ${#packages[@]} packages present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "install-deps: run as root or install sudo" >&2; exit 1; }
  sudo=sudo
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
