#!/usr/bin/env bash
# Builds folders whose log paths lead through symbolic and hard links (Wine shows a
# Unix symbolic link as a reparse point; a Windows program cannot make one there), then
# runs the link tests in them.
#   link-fixture.sh FIXTURE_DIR TEST_EXE [ARGS...]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
fixture=$1; shift
. "$root/tools/wine-env.sh"

rm -rf "$fixture"
mkdir -p "$fixture/target" "$fixture/base1" "$fixture/base2/ZAV" "$fixture/base3/ZAV/QUOViewer" \
         "$fixture/base4/ZAV/QUOViewer" "$fixture/base5/ZAV/QUOViewer" "$fixture/base6/ZAV/QUOViewer"
printf '\xff\xfe' >"$fixture/target/marker.csv"
printf '\xff\xfe' >"$fixture/target/hard.csv"
ln -s ../target "$fixture/base1/ZAV"
ln -s ../../target "$fixture/base2/ZAV/QUOViewer"
ln -s ../../../target "$fixture/base3/ZAV/QUOViewer/2012"
ln -s ../../../target "$fixture/base3/ZAV/QUOViewer/2013"
ln -s ../../../target/marker.csv "$fixture/base4/ZAV/QUOViewer/QUOLogRaw20120710.csv"
ln "$fixture/target/hard.csv" "$fixture/base5/ZAV/QUOViewer/QUOLogRaw20120710.csv"

# A link put in place of a raw file the writer has already written: the test asks for it
# with the file "ready" and waits for "swapped".
(
    until [ -e "$fixture/base6/ready" ]; do sleep 0.1; done
    ln -sf ../../../target/marker.csv "$fixture/base6/ZAV/QUOViewer/QUOLogRaw20120710.csv"
    touch "$fixture/base6/swapped"
) &
swapper=$!

rc=0
QUO_LINK_FIXTURE=$(quo_winpath "$fixture") "$root/tools/wine-run" "$@" || rc=$?
kill "$swapper" 2>/dev/null || true
wait "$swapper" 2>/dev/null || true
rm -rf "$fixture"
exit $rc
