#!/usr/bin/env bash
# Installs the Debian packages Tessera builds, tests and runs with.
# Idempotent: only packages that are missing are installed. Works as root
# without sudo, and through sudo otherwise.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config ccache
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev
  qt6-tools-dev qt6-l10n-tools
  libgdal-dev gdal-bin
  libeigen3-dev libsvm-dev libopencv-ml-dev nlohmann-json3-dev
  libgtest-dev googletest
  fonts-noto-cjk
  locales
  qgis python3-qgis python3-gdal
  libopenmpi-dev openmpi-bin
)

# `install-deps.sh fuzz` adds what the fuzz targets need (clang with its
# sanitizer and libFuzzer runtimes); `install-deps.sh bench` the peers the
# benchmarks compare with (GDAL's tools, GRASS GIS, Orfeo ToolBox, scikit-learn, libsvm's svm-train) and GNU time;
# `install-deps.sh docs` a virtual display for the screenshots of docs/qgis.md.
case "${1:-}" in
  fuzz) packages+=(clang libclang-rt-14-dev) ;;
  bench) packages+=(python3-gdal python3-sklearn python3-numpy grass-core otb-bin libsvm-tools time linux-perf) ;;
  docs) packages+=(xvfb xauth) ;; # a virtual display for the QGIS desktop screenshots
esac

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ "$(id -u)" -eq 0 ]; then
  as_root=()
else
  as_root=(sudo)
fi

# The accuracy report's locale test writes with a decimal comma (de_DE.UTF-8).
ensure_test_locale() {
  if command -v localedef >/dev/null 2>&1 && ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
    echo "install-deps: generating the de_DE.UTF-8 locale" >&2
    "${as_root[@]}" localedef -i de_DE -f UTF-8 de_DE.UTF-8 || true
  fi
}

if [ ${#missing[@]} -eq 0 ]; then
  ensure_test_locale
  exit 0
fi

echo "install-deps: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
ensure_test_locale
