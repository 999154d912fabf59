#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test, fuzz, benchmark,
# take screenshots, and build and check its Debian package. Safe to run again:
# packages already present are skipped.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git mold
  qt6-base-dev qt6-base-dev-tools qt6-tools-dev qt6-l10n-tools libgl-dev
  libusb-1.0-0-dev libudev-dev zlib1g-dev libssl-dev libsqlite3-dev
  libcli11-dev nlohmann-json3-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  umockdev libumockdev-dev
  clang libclang-rt-14-dev clang-format
  xvfb xauth fonts-noto-cjk
  python3
  dpkg-dev file lintian man-db appstream desktop-file-utils
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
