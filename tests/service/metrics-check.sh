#!/usr/bin/env bash
# Runs the metrics file tests in folders that hold symbolic links (Wine shows a Unix
# symbolic link as a reparse point; a Windows program cannot make one there), then has
# promtool parse and lint every text the tests saved.
#   metrics-check.sh PROMTOOL FIXTURE_DIR TEST_EXE [ARGS...]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
promtool=$1 fixture=$2
shift 2
. "$root/tools/wine-env.sh"

# The texts the tests save, one of each kind of value.
samples=(normal empty hostile controls surrogates desktop failed logging_off bad_codes)

rm -rf "$fixture"
mkdir -p "$fixture/target/sub" "$fixture/filelink" "$fixture/dirfile/quoviewer.prom" "$fixture/samples"
printf 'marker 1\n' >"$fixture/target/marker.prom"
ln -s target "$fixture/linked"
ln -s ../target/marker.prom "$fixture/filelink/quoviewer.prom"

rc=0
QUO_METRICS_FIXTURE=$(quo_winpath "$fixture") "$root/tools/wine-run" "$@" || rc=$?

for name in "${samples[@]}"; do
    file="$fixture/samples/$name.prom"
    if [ ! -s "$file" ]; then
        echo "metrics-check: the tests saved no $name.prom" >&2
        rc=1
    elif ! out=$("$promtool" check metrics <"$file" 2>&1); then
        echo "metrics-check: promtool rejects $name.prom: $out" >&2
        rc=1
    fi
done
[ $rc -ne 0 ] || rm -rf "$fixture"
exit $rc
