#!/usr/bin/env bash
# Builds the Debian package with cpack in a build folder configured for /usr,
# and checks it with lintian.
#
#   bash scripts/package.sh [BUILD_DIR]      (default build-package)
#
# The package lands in BUILD_DIR as velmora_VERSION_ARCH.deb; install it with
# sudo apt install ./BUILD_DIR/velmora_*.deb (or dpkg -i), remove it with
# sudo apt remove velmora.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${1:-build-package}

bash scripts/install-deps.sh >/dev/null
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
# Debian's compiler and linker flags, with every hardening feature.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cppflags=$(dpkg-buildflags --get CPPFLAGS)
cmake -S . -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_INSTALL_PREFIX=/usr -DVELMORA_BUILD_TESTS=OFF -DVELMORA_BUILD_BENCH=OFF \
  "-DCMAKE_C_FLAGS=$(dpkg-buildflags --get CFLAGS) $cppflags" \
  "-DCMAKE_CXX_FLAGS=$(dpkg-buildflags --get CXXFLAGS) $cppflags" \
  "-DCMAKE_EXE_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$build" -j "$(nproc)"
rm -f "$build"/velmora_*.deb
(cd "$build" && cpack -G DEB)
deb=$(ls "$build"/velmora_*.deb)
echo "=== $deb"
dpkg-deb --info "$deb"
if command -v lintian >/dev/null; then
  echo "=== lintian"
  lintian --info --display-info "$deb" || true
fi
