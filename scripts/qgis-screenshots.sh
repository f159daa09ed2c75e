#!/usr/bin/env bash
# The pictures of docs/qgis.md: the Processing toolbox of the QGIS desktop
# (under a virtual display) and a classified output drawn by QGIS with the
# provider's class style. Uses a throw-away QGIS profile with the plugin.
#   scripts/qgis-screenshots.sh build/cli/tessera docs
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tessera=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
out=$(cd "$2" && pwd)
"$here/install-deps.sh" docs
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
HOME=$home "$here/install-qgis-plugin.sh" "$home/.local/share/QGIS/QGIS3/profiles/default" >/dev/null
HOME=$home TESSERA_BINARY=$tessera TESSERA_SHOT=$out/qgis-toolbox.png \
  xvfb-run -a -s "-screen 0 1280x900x24" qgis --nologo --noversioncheck --code "$here/qgis-toolbox-shot.py" \
  >/dev/null 2>&1
HOME=$home /usr/bin/python3 "$here/qgis-screenshots.py" "$tessera" "$out" >/dev/null 2>&1
echo "wrote $out/qgis-toolbox.png and $out/qgis-map.png"
