#!/usr/bin/env bash
# Builds everything and runs every test under Wine: boots the build's prefix with a
# persistent wineserver and a virtual display, runs CTest, and stops what it started,
# also on failure or interruption. Extra arguments go to ctest (e.g. -R log_). The long
# load and fuzz runs (label soak) run only when QUO_TEST_LABEL=soak asks for them.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export QUO_BUILD=${QUO_BUILD:-$root/build}
. "$root/tools/wine-env.sh"
quo_reexec_without_aslr "$0" "$@"
. "$root/tools/xvfb.sh"

"$root/tools/build.sh"

cleanup() {
    local prefix
    for prefix in "$QUO_WINE_DIR"/tmp/prefix.*; do
        [ -d "$prefix" ] && { quo_server_stop "$prefix"; rm -rf "$prefix"; }
    done
    quo_server_stop "$QUO_BASE_PREFIX"
    quo_xvfb_stop
}
trap cleanup EXIT
trap 'exit 130' INT TERM

quo_xvfb_start

# Boot the session here, output to a file, before CTest captures anything.
quo_prefix_reset
quo_server_start "$QUO_BASE_PREFIX"

if [ "${QUO_TEST_LABEL:-}" = soak ]; then
    labels=(-L soak)
else
    labels=(-LE soak)
fi
# Two at a time: most tests spend their time waiting on the service, a pipe or a
# display, but a third Wine session on a two-core machine starves the timing of the
# GUI runs (their plot moves at the service's tick).
rc=0
ctest --test-dir "$QUO_BUILD" --output-on-failure --timeout 900 -j "${QUO_TEST_JOBS:-2}" "${labels[@]}" "$@" || rc=$?
exit $rc
