#!/usr/bin/env bash
# Builds the system and runs it in a Wine prefix of its own ($QUO_BUILD/wine/demo, kept
# afterwards for a look around): on a simulated desktop PC the setup program installs it
# silently (the service and the session agent start); opens the installed viewer, shows
# the live samples arriving, saves a screenshot of the viewer, stops the service, prints
# the half-hour totals, uninstalls silently (the logs stay) and prints where the files
# are.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export QUO_BUILD=${QUO_BUILD:-$root/build}
. "$root/tools/wine-env.sh"
quo_reexec_without_aslr "$0" "$@"
quo_name_failures demo.sh
. "$root/tools/xvfb.sh"
seconds=${QUO_DEMO_SECONDS:-12}

"$root/tools/build.sh"

prefix="$QUO_WINE_DIR/demo"
bin="$QUO_BUILD/bin"
setup=$(ls "$QUO_BUILD"/installer/QUOViewerSetup-*.exe)
instdir="$prefix/drive_c/Program Files/QUOViewer"
cleanup() {
    quo_server_stop "$prefix"
    quo_xvfb_stop
}
trap cleanup EXIT
quo_xvfb_start
quo_prefix_ensure
quo_server_stop "$prefix"
quo_prefix_clone "$prefix"
quo_server_start "$prefix"

wine_in() { WINEPREFIX="$prefix" wine "$@" </dev/null 2>>"$prefix/.quo-wine.log"; }
reg_dword() { wine_in reg add "$1" /v "$2" /t REG_DWORD /d "$3" /f >/dev/null; }

echo "== a simulated desktop PC (tools/sim-hw): the maker's driver and QuoLevel.dll"
mkdir -p "$instdir"
"$root/tools/sim-hw" "$prefix" desktop --programs "$instdir" >/dev/null
"$root/tools/sim-hw" "$prefix" run "$bin/zavsimctl.exe" show | head -n 3

echo "== settings: one sample a second, tracing of errors and milestones"
key='HKLM\Software\ZAV\QUOViewer'
reg_dword "$key\\DevInfo" Interval 1000
wine_in reg add "$key\\DbgLog" /v filename /t REG_SZ /d quoviewer.log /f >/dev/null
reg_dword "$key\\DbgLog" logform 2
reg_dword "$key\\DbgLog" loglevel 0

echo "== $(basename "$setup") /S (after winmgmt, which Wine does not start by itself)"
wine_in net start winmgmt >/dev/null
# The setup starts the agent: its output goes to the log, never to a pipe of ours.
wine_in "$setup" /S >>"$prefix/.quo-wine.log" && echo "installed"
wine_in sc query quomonsv | tr -d '\r' | grep -E 'SERVICE_NAME|STATE'
wine_in reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\QUOViewer' | tr -d '\r' \
    | grep -E 'DisplayName|DisplayVersion|QuietUninstallString'
wine_in reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' /v quoviewerd | tr -d '\r' | grep quoviewerd

WINEPREFIX="$prefix" wine "$instdir/quoviewer.exe" </dev/null >/dev/null 2>&1 &
echo "viewer started from the program folder (the Start menu entry's target)"

raw_dir="$prefix/drive_c/ProgramData/ZAV/QUOViewer"
echo "== live samples for ${seconds} s (date, time, elapsed ms, power status, PC mW, ...)"
shown=0
for _ in $(seq 1 "$seconds"); do
    sleep 1
    raw=$(ls "$raw_dir"/QUOLogRaw*.csv 2>/dev/null | tail -n 1) || true
    [ -n "$raw" ] || continue
    lines=$(iconv -f UTF-16 -t UTF-8 "$raw" | tr -d '\r')
    total=$(printf '%s\n' "$lines" | grep -c . || true)
    if [ "$total" -gt "$shown" ]; then
        printf '%s\n' "$lines" | tail -n $((total - shown))
        shown=$total
    fi
done

echo "== a screenshot of the viewer"
shot="$QUO_BUILD/demo-viewer.png"
"$root/tools/screenshot.sh" "ヌボラ" "$shot" && echo "viewer screenshot: $shot"

echo "== quomonsv /STOP"
wine_in "$instdir/quomonsv.exe" /STOP && echo "stopped"
raw=$(ls "$raw_dir"/QUOLogRaw*.csv | tail -n 1)
iconv -f UTF-16 -t UTF-8 "$raw" | tr -d '\r' | tail -n 1
echo "== the half-hour totals of these samples (quolog on a copy of the logs)"
copy="$prefix/drive_c/quolog-demo"
rm -rf "$copy"
cp -r "$raw_dir" "$copy"
rm -rf "$copy/QUOLog"  # the live copy's bookkeeping; quolog keeps its own state file
slot_end=$(date -d "@$(( ($(date +%s) / 1800 + 1) * 1800 ))" '+%Y/%m/%d,%H:%M:%S.000')
today=$(date '+%Y/%m/%d')
copy_win='C:\quolog-demo'  # through C:, not through the Z: alias, which the library refuses
wine_in "$instdir/quolog.exe" totalize --dir "$copy_win" --now "$slot_end" --interval 1000 | tr -d '\r'
echo "date,time,S0 s,S3S4 s,S5 s,PC mWh,display mWh,AC s,DC s,charge s,plan 1,s,plan 2,s,idle mWh,reduction s,reduction mWh"
wine_in "$instdir/quolog.exe" read day "$today" --dir "$copy_win" --today "$today" | tr -d '\r' \
    | awk -F, 'NR == 1 || $3 != "0" || $1 == "total"'

echo "== uninst.exe /S (the logs stay; /REMOVELOGS would remove them)"
wine_in "$instdir/uninst.exe" /S >>"$prefix/.quo-wine.log"
# The uninstaller runs on from a copy of itself; it is done when it has deleted itself.
for _ in $(seq 1 100); do
    [ -e "$instdir/uninst.exe" ] || break
    sleep 0.2
done
[ -e "$instdir/uninst.exe" ] && echo "the uninstaller did not finish" || echo "uninstalled"

echo "== files"
echo "raw log:    $raw"
echo "screenshot: $shot"
echo "trace file: $prefix/drive_c/ProgramData/quoviewer.log"
echo "last trace lines:"
iconv -f UTF-16 -t UTF-8 "$prefix/drive_c/ProgramData/quoviewer.log" | tr -d '\r' | grep -E "WELCOME|GOODBYE|Service is running|MainLoop|PIPEEVENT_CONNECTED" | tail -n 8
