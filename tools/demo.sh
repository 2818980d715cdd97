#!/usr/bin/env bash
# Builds the system and shows it working in a Wine prefix of its own
# ($QUO_BUILD/wine/demo, kept afterwards for a look around).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export QUO_BUILD=${QUO_BUILD:-$root/build}
. "$root/tools/wine-env.sh"

"$root/tools/build.sh"

prefix="$QUO_WINE_DIR/demo"
quo_prefix_ensure
[ -f "$prefix/.quo-ready" ] || quo_prefix_clone "$prefix"
trap 'quo_server_stop "$prefix"' EXIT
quo_server_start "$prefix"

echo "== simulated desktop PC (tools/sim-hw)"
"$root/tools/sim-hw" "$prefix" desktop
show="$prefix/.quo-sim-show.txt"
for i in 1 2 3; do
    "$root/tools/sim-hw" "$prefix" run "$QUO_BUILD/bin/zavsimctl.exe" show >"$show"
    head -n 1 "$show"
    sleep 1
done
tail -n +2 "$show"

echo "== foundation_demo under Wine (prefix $prefix)"
WINEPREFIX="$prefix" wine "$QUO_BUILD/bin/foundation_demo.exe"
trace="$prefix/drive_c/ProgramData/quoviewer-demo.log"
echo "== last lines of the trace file $trace"
iconv -f UTF-16 -t UTF-8 "$trace" | tail -n 20
