#!/usr/bin/env bash
# Sets up each simulated machine with tools/sim-hw in a prefix of its own and checks it
# with sim_hw_test.exe run inside the prefix: a desktop PC, its removal, a notebook PC
# with two batteries (and the fake power supply when run as root), its removal, and
# both installed again after a restart of the session. Prints how long each step took.
#
#   sim_hw_test.sh BUILD_DIR SIM_HW_TEST_EXE
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export QUO_BUILD=$1
test_exe=$2
. "$root/tools/wine-env.sh"
sim_hw="$root/tools/sim-hw"

quo_prefix_ensure
mkdir -p "$QUO_WINE_DIR/tmp"
prefix=$(mktemp -d "$QUO_WINE_DIR/tmp/prefix.XXXXXX")
cleanup() {
    "$sim_hw" "$prefix" power-supply stop >/dev/null 2>&1 || true
    quo_server_stop "$prefix"
    rm -rf "$prefix"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

failures=0

# Runs a command and prints its duration after the step's name.
timed() {
    local name=$1 start end
    shift
    start=$(date +%s.%N)
    "$@"
    end=$(date +%s.%N)
    awk -v s="$start" -v e="$end" -v n="$name" 'BEGIN { printf "== %-44s %5.1f s\n", n, e - s }'
}

# Runs the tests that fit the machine now set up.
check() {
    if ! "$sim_hw" "$prefix" run "$test_exe" --gtest_brief=1 --gtest_filter="$1"; then
        echo "FAILED: $1"
        failures=$((failures + 1))
    fi
}

# The session of a notebook reads the fake power supply: services.exe, which starts the
# service, sees the fake battery entry.
check_session_sees_power_supply() {
    local pid found=0
    for pid in $(pgrep -f 'services.exe' || true); do
        { tr '\0' '\n' <"/proc/$pid/environ"; } 2>/dev/null | grep -qx "WINEPREFIX=$prefix" || continue
        if [ -f "/proc/$pid/root/sys/class/power_supply/BAT0/status" ]; then
            found=1
        fi
    done
    if [ $found -eq 0 ]; then
        echo "FAILED: services.exe of the prefix does not see the fake power supply"
        failures=$((failures + 1))
    fi
}

prepare() {
    quo_prefix_clone "$prefix"
    quo_server_start "$prefix"
}

remove_and_restart() {
    "$sim_hw" "$prefix" remove
    # A plug-and-play driver goes away only with its session.
    "$sim_hw" "$prefix" restart
}

notebook_options=(--batteries 2)
notebook_filter='NotebookDrivers.*:Batteries.*:PowrProf.*'
if [ "$(id -u)" -eq 0 ]; then
    notebook_filter="$notebook_filter:PowerSupply.*"
else
    echo "== not root: the notebook runs without the fake power supply"
    notebook_options+=(--no-power-supply)
fi

timed "prepared prefix copied and booted" prepare

timed "desktop set up" "$sim_hw" "$prefix" desktop
"$sim_hw" "$prefix" tandora install
check 'DesktopDrivers.*:PowrProf.*:PeakShiftTool.*'
timed "desktop removed, session restarted" remove_and_restart
check 'RemovedMachine.*'

timed "notebook set up" "$sim_hw" "$prefix" notebook "${notebook_options[@]}"
check "$notebook_filter"
[ "$(id -u)" -ne 0 ] || check_session_sees_power_supply
timed "notebook removed, session restarted" remove_and_restart
check 'RemovedMachine.*'

timed "notebook set up again" "$sim_hw" "$prefix" notebook "${notebook_options[@]}"
check "$notebook_filter"
timed "notebook removed, session restarted" remove_and_restart
timed "desktop set up again" "$sim_hw" "$prefix" desktop
check 'DesktopDrivers.*'

if [ $failures -ne 0 ]; then
    echo "$failures check(s) failed; the prefix's Wine log follows"
    tail -n 40 "$prefix/.quo-wine.log" || true
    exit 1
fi
echo "all machines checked"
