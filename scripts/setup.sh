#!/usr/bin/env bash
# Installs every build and test dependency from Debian's packages when missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libx11-dev qt6-translations-l10n libgl-dev libqscintilla2-qt6-dev
  qt6-svg-dev
  fonts-wqy-microhei fonts-symbola
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  fp-utils
  python3-ezdxf
  libusb-1.0-0-dev umockdev
  libproj-dev proj-bin gdal-bin libxml2-utils
  xvfb xauth
  dpkg-dev file lintian
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
