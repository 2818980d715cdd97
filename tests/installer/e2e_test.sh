#!/usr/bin/env bash
# The installed system end to end on a simulated desktop at "Interval" 1000: installed
# silently, it runs a while, the service is restarted through its own switches, a
# suspend and resume is simulated (below), and it runs again. Then the raw log, the
# daily totals that quolog computes from it and the records themselves must agree:
# running time, time asleep, PC and display energy and time on AC. The service's own
# totals, completed by quolog, must equal those computed from scratch, and the installed
# viewer's day view of today must show them.
#
# Wine never delivers a power event to a service; the suspend and resume therefore run
# in suspend_resume.exe, the service's own controller in process, while the installed
# service is stopped: it writes the records the service writes on these events.
#
#   e2e_test.sh BUILD_DIR SETUP_EXE SUSPEND_RESUME_EXE [INSTALLED_VIEWER_TEST_EXE]
# QUO_E2E_PHASE sets the seconds of each running phase (30).
setup=${2:?SETUP_EXE missing}
suspend_resume=${3:?SUSPEND_RESUME_EXE missing}
viewer_test=${4:-}
phase=${QUO_E2E_PHASE:-30}
asleep=30
. "$(dirname "${BASH_SOURCE[0]}")/SetupSupport.sh"
simulated_desktop 1000
service() { wine_in "$instdir/quomonsv.exe" "$@"; }

echo "== install, run ${phase} s"
install_running "$setup"
sleep "$phase"
echo "== service restart, run ${phase} s"
check "/STOP" service /STOP
check "/START" service /START
sleep "$phase"
echo "== suspend for ${asleep} s and resume, run ${phase} s"
check "/STOP" service /STOP
check "suspend and resume" wine_in "$suspend_resume" 10 "$asleep"
check "/START" service /START
sleep "$phase"
check "/STOP" service /STOP
check "the agent still runs" agent_running

echo "== the raw log"
statuses=$(raw_statuses)
echo "$statuses"
# START samples END, three runs of the service and the suspend's run between them.
check "the runs and their records" \
    grep -qE '^5 (1 )+6 5 (1 )+6 5 (1 )+3 2 (1 )+6 5 (1 )+6 $' <<<"$statuses"
# Seconds since the epoch of a raw line's date and time (local).
line_time() { date -d "$(awk -F, '{ gsub(/"/, ""); print $1 " " substr($2, 1, 8) }' <<<"$1")" +%s; }
to_sleep=$(raw_lines | awk -F, '$4 ~ /^"?3"?$/' | head -n 1)
from_sleep=$(raw_lines | awk -F, '$4 ~ /^"?2"?$/' | head -n 1)
slept=$(( $(line_time "$from_sleep") - $(line_time "$to_sleep") ))
check "asleep for the time it slept ($slept s)" test "$slept" -ge "$asleep" -a "$slept" -le $((asleep + 5))
# What the daily totals must say, from the records: samples (s), and per half-hour slot
# the PC and display energy in mWh, truncated per slot as the totals are.
expected=$(raw_lines | awk -F, '
    { gsub(/"/, "") }
    $4 == 1 {
        slot = $1 " " substr($2, 1, 2) (substr($2, 4, 2) < 30 ? "a" : "b")
        samples++; ac += ($7 == 1); pc[slot] += $5; mon[slot] += $6
    }
    END {
        for (s in pc) { pcwh += int(pc[s] * 1000 / 3600000); monwh += int(mon[s] * 1000 / 3600000) }
        print samples, pcwh, monwh, ac
    }')
read -r samples pc_mwh mon_mwh ac_s <<<"$expected"
echo "samples $samples, PC $pc_mwh mWh, display $mon_mwh mWh, on AC $ac_s s, asleep $slept s"

echo "== the daily totals (quolog on a copy of the logs)"
copy="$prefix/drive_c/quolog-e2e"
cp -r "$raw_dir" "$copy"
rm -rf "$copy/QUOLog"
last_time=$(line_time "$(raw_lines | tail -n 1)")
slot_end=$(date -d "@$(( (last_time / 1800 + 1) * 1800 ))" '+%Y/%m/%d,%H:%M:%S.000')
# quolog DIR ARGS...: the installed quolog.exe on the log folder DIR.
quolog() { local dir=$1; shift; wine_out "$instdir/quolog.exe" "$@" --dir "$dir"; }
check "quolog totalize" quolog 'C:\quolog-e2e' totalize --now "$slot_end" --interval 1000 >/dev/null
totals=""
for day in $(raw_lines | awk -F, '{ gsub(/"/, ""); print $1 }' | sort -u); do
    totals+=$(quolog 'C:\quolog-e2e' read day "$day" --today "$day" | grep '^total,')$'\n'
done
echo "$totals"
# total,date,time,S0 s,S3S4 s,S5 s,PC mWh,display mWh,AC s,...
read -r t_s0 t_s3 t_s5 t_pc t_mon t_ac <<<"$(awk -F, 'NF { s0 += $4; s3 += $5; s5 += $6; pc += $7; mon += $8; ac += $9 }
    END { print s0 + 0, s3 + 0, s5 + 0, pc + 0, mon + 0, ac + 0 }' <<<"$totals")"
expect_eq "running time" "$samples" "$t_s0"
# The time asleep is counted per slot in whole seconds: a slot boundary may cost one.
check "time asleep $t_s3 s, $slept s between the records" test "$t_s3" -ge $((slept - 1)) -a "$t_s3" -le "$slept"
expect_eq "time off" 0 "$t_s5"
expect_eq "PC energy" "$pc_mwh" "$t_pc"
expect_eq "display energy" "$mon_mwh" "$t_mon"
expect_eq "time on AC" "$ac_s" "$t_ac"

echo "== the service's own totals, completed by quolog"
check "quolog totalize" quolog 'C:\ProgramData\ZAV\QUOViewer' totalize --now "$slot_end" --interval 1000 >/dev/null
today=$(date +%Y/%m/%d)
today_total() { quolog 'C:\ProgramData\ZAV\QUOViewer' read day "$today" --today "$today" | grep '^total,'; }
today_total=$(today_total)
expect_eq "today's totals, continued and from scratch" "$(grep "^total,$today," <<<"$totals")" "$today_total"

if [ -n "$viewer_test" ]; then
    echo "== the viewer's day view of today, the service running again"
    check "/START" service /START
    # The pane shows PC and display energy in whole Wh (half up) and the hours running.
    read -r view_wh view_hours <<<"$(awk -F, '{ print int(($7 + $8) / 1000 + 0.5), int($4 / 3600 + 0.5) }' \
        <<<"$today_total")"
    echo "expected: $view_wh Wh, $view_hours h"
    check "the viewer's day view" installed_viewer DayViewShowsTheTotals QUO_EXPECT_TOTAL_WH="$view_wh" \
        QUO_EXPECT_RUN_HOURS="$view_hours"
    check "/STOP" service /STOP
    expect_eq "today's totals while the viewer looked" "$today_total" "$(today_total)"
fi
expect_eq "uninstaller exit code" 0 "$(uninstall_run)"
finish
