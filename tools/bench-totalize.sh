#!/usr/bin/env bash
# Times the log library's totalization and reading on logs it generates itself, beside
# the floor of the same work (the same files read once, split into cells, numbers
# converted), in a Wine prefix of its own:
#
#   tools/bench-totalize.sh
#
# TotalizeQuoLogOne over a day of samples at a 1-second interval and over a week of
# backlog (µs per raw line, the floor and their ratio), the yearly fold of a year of
# daily files (µs per daily line), and QUOLogRead's year and month questions on that
# year (median of 20). Needs about 250 MB of disk in the prefix for the week.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export QUO_BUILD=${QUO_BUILD:-$root/build}
bin="$QUO_BUILD/bin"
[ -f "$bin/totalize_bench.exe" ] || "$root/tools/build.sh"
echo "Load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
"$root/tools/wine-run" --fresh "$bin/totalize_bench.exe" 'C:\quo-bench' | tr -d '\r'
echo "Load average after:  $(cut -d' ' -f1-3 /proc/loadavg)"
