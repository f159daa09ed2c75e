#!/usr/bin/env bash
# Installs the Tessera Processing provider (qgis/tessera) into a QGIS profile
# and enables it there: `make qgis-plugin` uses the user's default profile, the
# tests a profile of their own. QGIS 3.22 (Debian 12) has no
# `qgis_process plugins enable`, so the plugin is enabled in the profile's
# settings, which qgis_process and the desktop both read.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
profile=${1:-${HOME}/.local/share/QGIS/QGIS3/profiles/default}
plugins="$profile/python/plugins"
mkdir -p "$plugins" "$profile/QGIS"
rm -rf "$plugins/tessera"
cp -r "$here/qgis/tessera" "$plugins/tessera"
find "$plugins/tessera" -name __pycache__ -prune -exec rm -rf {} +
/usr/bin/python3 - "$profile/QGIS/QGIS3.ini" <<'PY'
import configparser, sys
path = sys.argv[1]
ini = configparser.ConfigParser(interpolation=None, strict=False)
ini.optionxform = str  # Qt's keys are case-sensitive
ini.read(path, encoding="utf-8")
if not ini.has_section("PythonPlugins"):
    ini.add_section("PythonPlugins")
ini.set("PythonPlugins", "tessera", "true")
with open(path, "w", encoding="utf-8") as f:
    ini.write(f, space_around_delimiters=False)
PY
echo "Tessera provider installed in $plugins/tessera and enabled"
