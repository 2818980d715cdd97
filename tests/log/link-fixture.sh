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
         "$fixture/base4/ZAV/QUOViewer" "$fixture/base5/ZAV/QUOViewer"
printf '\xff\xfe' >"$fixture/target/marker.csv"
printf '\xff\xfe' >"$fixture/target/hard.csv"
ln -s ../target "$fixture/base1/ZAV"
ln -s ../../target "$fixture/base2/ZAV/QUOViewer"
ln -s ../../../target "$fixture/base3/ZAV/QUOViewer/2012"
ln -s ../../../target "$fixture/base3/ZAV/QUOViewer/2013"
ln -s ../../../target/marker.csv "$fixture/base4/ZAV/QUOViewer/QUOLogRaw20120710.csv"
ln "$fixture/target/hard.csv" "$fixture/base5/ZAV/QUOViewer/QUOLogRaw20120710.csv"

rc=0
QUO_LINK_FIXTURE=$(quo_winpath "$fixture") "$root/tools/wine-run" "$@" || rc=$?
rm -rf "$fixture"
exit $rc
