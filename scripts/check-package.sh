#!/usr/bin/env bash
# Builds the Debian package, unpacks it into a temporary root as an installation
# would lay it out, and starts the installed viren-run from there with the
# program folder read-only, as it is for a user of an installed program: the
# disclaimer's answer must land in the user's configuration folder.
# Usage: check-package.sh [BUILD_FOLDER]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)

cmake --build "$build" --target package >/dev/null
deb=$(ls -t "$build"/viren_*.deb | head -n 1)
echo "check-package: $(basename "$deb"), $(du -k "$deb" | cut -f1) kB"

root=$(mktemp -d)
trap 'chmod -R u+w "$root" 2>/dev/null; rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
for f in usr/bin/viren usr/bin/viren-run usr/lib/viren/VIREN.ini usr/lib/viren/sample/program \
         usr/share/applications/viren.desktop usr/share/icons/hicolor/scalable/apps/viren.svg; do
  [ -e "$root/$f" ] || { echo "check-package: $f is not in the package" >&2; exit 1; }
done
grep -q '^Exec=viren$' "$root/usr/share/applications/viren.desktop"

folder="$root/usr/lib/viren"
config="$root/home/.config"
mkdir -p "$config"
run=(env XDG_CONFIG_HOME="$config" VIREN_AUDIO_SINK="${VIREN_AUDIO_SINK:-fakesink sync=true}"
     "$root/usr/bin/viren-run" --answer yes --seconds 2)
if [ "$(id -u)" -eq 0 ]; then
  # root writes anywhere: a read-only bind mount in a mount namespace of its own.
  unshare -m sh -c 'mount --bind -o ro "$0" "$0" && exec "$@"' "$folder" "${run[@]}"
else
  chmod -R a-w "$folder"
  "${run[@]}"
fi

[ ! -e "$folder/option.ini" ] || { echo "check-package: option.ini written into the program folder" >&2; exit 1; }
grep -q 'AGREEMENT=1' "$config/viren/option.ini"
echo "check-package: installed viren-run ran; settings in $config/viren/option.ini"
