#!/usr/bin/env bash
# Installs what only the benchmarks use: OpenCV, the peer the frame analysis
# is measured against. The program itself never needs it. Safe to run again.
set -euo pipefail
exec bash "$(dirname "$0")/install-deps.sh" libopencv-dev
