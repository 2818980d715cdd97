# Shell helpers of the setup program's tests: a simulated machine in a prefix of its
# own, the setup and the uninstaller run silently with their full exit codes, and what
# they leave behind (service, processes, registry, files) read back. Sourced by each
# test script, whose first argument is the build folder, once it has read its arguments:
# it makes the script's prefix (below).
set -euo pipefail
export QUO_BUILD=${1:?BUILD_DIR missing}
. "$(dirname "${BASH_SOURCE[0]}")/../../tools/wine-env.sh"
. "$QUO_ROOT/tools/xvfb.sh"

INSTDIR_WIN='C:\Program Files\QUOViewer'
PRODUCT_KEY='HKLM\Software\ZAV\QUOViewer'
UNINSTALL_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\QUOViewer'
RUN_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
# The setup's own exit codes (installer/ExitCodes.nsh).
EXIT_NO_DRIVER=536870914
EXIT_NO_QUOLEVEL=536870915

failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
# check DESCRIPTION COMMAND...: counts a failure when the command fails.
check() { local what=$1; shift; "$@" || fail "$what"; }
expect_eq() { [ "$2" = "$3" ] || fail "$1: expected '$2', got '$3'"; }
finish() { [ "$failures" -eq 0 ] && echo "PASSED" || { echo "$failures failure(s)"; exit 1; }; }

# A fresh prefix with a persistent wineserver and a virtual display of its own (so that
# the installed viewer never meets the windows of the viewer's tests), removed when the
# script ends: prefix, instdir (Unix path of the program folder), raw_dir, start_menu.
quo_prefix_ensure
mkdir -p "$QUO_WINE_DIR/tmp"
prefix=$(mktemp -d "$QUO_WINE_DIR/tmp/prefix.XXXXXX")
trap 'quo_server_stop "$prefix"; rm -rf "$prefix"; quo_xvfb_stop' EXIT
trap 'exit 130' INT TERM
quo_xvfb_start
quo_prefix_clone "$prefix"
quo_server_start "$prefix"
instdir="$prefix/drive_c/Program Files/QUOViewer"
raw_dir="$prefix/drive_c/ProgramData/ZAV/QUOViewer"
start_menu="$prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/QUOViewer"

wine_in() { quo_wine_quiet "$prefix" "$@"; }
# A wine command's standard output (its standard error to the prefix's log).
wine_out() { WINEPREFIX="$prefix" wine "$@" </dev/null 2>>"$prefix/.quo-wine.log" | tr -d '\r'; }

# The simulated desktop the maker's parts make: its driver, and QuoLevel.dll (with the
# power-profile stand-in) in the program folder, where the maker's package puts them.
# simulated_desktop [INTERVAL]: with the user's setting "Interval" INTERVAL ms.
simulated_desktop() {
    mkdir -p "$instdir"
    "$QUO_ROOT/tools/sim-hw" "$prefix" desktop --programs "$instdir" >/dev/null
    # Wine's service manager does not start the service's dependency by itself.
    wine_in net start winmgmt
    [ -z "${1:-}" ] || wine_in reg add "$PRODUCT_KEY\\DevInfo" /v Interval /t REG_DWORD /d "$1" /f
}

# Runs a Windows program of the prefix and waits for it; prints its full exit code
# (wine's own exit status keeps only the low 8 bits).
run_for_code() {
    local rcfile="$prefix/drive_c/quo-rc.txt"
    rm -f "$rcfile"
    printf '@start "" /wait %s\r\n@>C:\\quo-rc.txt echo %%ERRORLEVEL%%\r\n' "$*" >"$prefix/drive_c/quo-run.cmd"
    wine_in cmd /c 'C:\quo-run.cmd'
    tr -d '\r\n ' <"$rcfile"
}

# installed_viewer TEST [NAME=VALUE...]: runs InstalledViewer.TEST of the installed viewer's
# test program ($viewer_test) with the variables set; its output is shown when it fails.
installed_viewer() {
    local test=$1
    shift
    env "$@" WINEPREFIX="$prefix" wine "$viewer_test" --gtest_brief=1 --gtest_filter="InstalledViewer.$test" \
        </dev/null >"$prefix/viewer-test.log" 2>>"$prefix/.quo-wine.log" && return 0
    tr -d '\r' <"$prefix/viewer-test.log"
    return 1
}

# setup_run SETUP_EXE [ARGS...]: the silent setup's exit code.
setup_run() {
    local setup_win=$(quo_winpath "$1"); shift
    run_for_code "\"$setup_win\" /S $*"
}

# install_running SETUP_EXE [ARGS...]: the silent setup succeeds; the service and the
# agent then run.
install_running() {
    expect_eq "setup exit code" 0 "$(setup_run "$@")"
    check "the service runs" wait_service_state RUNNING
    check "the agent runs" wait_agent
}

# The silent uninstaller's exit code; it runs from the program folder (_?=) so that its
# end is the end of its work, and is deleted afterwards as it would delete itself.
uninstall_run() {
    local rc
    rc=$(run_for_code "\"$INSTDIR_WIN\\uninst.exe\" /S $* _?=$INSTDIR_WIN")
    rm -f "$instdir/uninst.exe"
    rmdir "$instdir" 2>/dev/null || true
    printf '%s' "$rc"
}

# A registry value's data as reg.exe prints it (empty when missing).
reg_value() {
    wine_out reg query "$1" /v "$2" | awk -v name="$2" '$1 == name { $1 = ""; $2 = ""; sub(/^ +/, ""); print; exit }'
}

service_state() { wine_out sc query quomonsv | awk '/STATE/ { print $4; exit }'; }

# wait_for TENTHS COMMAND...: runs the command every tenth of a second until it
# succeeds, at most TENTHS times; its last status.
wait_for() {
    local tenths=$1 i
    shift
    for i in $(seq 1 "$tenths"); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

service_in_state() { [ "$(service_state)" = "$1" ]; }
# Waits up to 20 s for the service to reach state $1 (RUNNING, STOPPED) or to be gone
# (empty).
wait_service_state() { wait_for 200 service_in_state "$1"; }

# The Unix process ids of the prefix's processes whose command line holds $1.
prefix_pids() {
    local pid
    for pid in $(pgrep -f "$1" || true); do
        if { tr '\0' '\n' <"/proc/$pid/environ"; } 2>/dev/null | grep -qx "WINEPREFIX=$prefix"; then
            echo "$pid"
        fi
    done
}
agent_running() { [ -n "$(prefix_pids quoviewerd.exe)" ]; }
viewer_running() { [ -n "$(prefix_pids quoviewer.exe)" ]; }
viewer_gone() { ! viewer_running; }
# Waits up to 10 s for the agent to run.
wait_agent() { wait_for 100 agent_running; }

# The FileVersion text of a program's version resource.
file_version() {
    x86_64-w64-mingw32-strings -el "$1" | awk 'found { print; exit } $0 == "FileVersion" { found = 1 }'
}

# The raw log's lines (UTF-8, no CR), oldest file first.
raw_lines() {
    local f
    for f in "$raw_dir"/QUOLogRaw*.csv; do
        [ -f "$f" ] && iconv -f UTF-16 -t UTF-8 "$f" | tr -d '\r'
    done
}
# The power status column of each raw line, as one line of numbers.
raw_statuses() { raw_lines | awk -F, '{ gsub(/"/, "", $4); printf "%s ", $4 } END { print "" }'; }
raw_lines_at_least() { [ "$(raw_lines | grep -c .)" -ge "$1" ]; }
# Waits up to 20 s until the raw log holds at least $1 lines.
wait_raw_lines() { wait_for 200 raw_lines_at_least "$1"; }
