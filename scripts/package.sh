#!/usr/bin/env bash
# Builds the Debian package with CPack: a Release build in build-package/ (or
# $PACKAGE_BUILD_DIR) with the desktop files under /usr, then checks it with
# dpkg-deb, appstreamcli and lintian (where installed; lintian errors and warnings
# fail it). The .deb is left in that folder. LUMIVO_QT=6 makes the Qt 6 package,
# lumivo-qt6 (in build-package-qt6/ unless PACKAGE_BUILD_DIR is set), which takes the
# place of the Qt 5 one.
set -euo pipefail
cd "$(dirname "$0")/.."

qt=${LUMIVO_QT:-5}
LUMIVO_QT=$qt bash scripts/setup.sh dpkg-dev file  # dpkg-shlibdeps computes the run-time dependencies
build=${PACKAGE_BUILD_DIR:-build-package}
[ "$qt" = 5 ] || build=${PACKAGE_BUILD_DIR:-build-package-qt$qt}
# Debian's hardening flags (stack protector, fortify, relro, bindnow).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DLUMIVO_QT="$qt" -DLUMIVO_BUILD_TESTS=OFF -DLUMIVO_BUILD_BENCH=OFF \
  -DCMAKE_INSTALL_PREFIX=/opt/lumivo -DLUMIVO_SYSTEM_PREFIX=/usr -DLUMIVO_PACKAGE_LAYOUT=ON \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)"
cmake --build "$build" -j"$(nproc)"
(cd "$build" && cpack -G DEB)
deb=$(ls -t "$build"/lumivo*_*.deb | head -n 1)
dpkg-deb --info "$deb"
contents=$(dpkg-deb --contents "$deb")
echo "$contents"
grep -q '\./usr/bin/lumivo -> /opt/lumivo/bin/lumivo$' <<<"$contents" ||
  { echo "package.sh: the launcher link is missing or wrong" >&2; exit 1; }
# The unpacked tree as a software centre sees it: metainfo, desktop entry and icon together.
if command -v appstreamcli >/dev/null; then
  tree=$(mktemp -d)
  trap 'rm -rf "$tree"' EXIT
  dpkg-deb -x "$deb" "$tree"
  appstreamcli validate-tree --no-net "$tree"
fi
if command -v lintian >/dev/null; then
  lintian --info --fail-on error,warning "$deb"
fi
echo "Package: $deb"
