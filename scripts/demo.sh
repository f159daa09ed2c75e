#!/usr/bin/env bash
# `make demo`: the whole pipeline on a generated scene (tessera demo), then
# the host on the results when a display is available, or the gallery of
# window screenshots when not.
set -euo pipefail
build=${1:-build}
out=${DEMO_DIR:-demo-out}
"$build/cli/tessera" demo "$out"
host="$build/host/tessera-host"
[ -x "$host" ] || exit 0
if [ -n "${DISPLAY:-}" ] && [ "${QT_QPA_PLATFORM:-}" != offscreen ]; then
  exec "$host" "$out/maxlik.tif" "$out/scene/scene.tif"
fi
QT_QPA_PLATFORM=offscreen "$host" --gallery "$out/gallery" --demo "$out"
echo "Window screenshots: $out/gallery/"
