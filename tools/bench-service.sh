#!/usr/bin/env bash
# Measures what the monitoring service costs while it runs: CPU time and working set of
# its process per sampling tick, at "Interval" 1000 ms with tracing off and no client,
# on a simulated desktop in a Wine prefix of its own.
#
#   tools/bench-service.sh [MINUTES]      (default 3; decimals such as 0.5 allowed)
#
# The service first runs WARMUP_SECONDS (default 10) unmeasured. The figures come from
# the host, since Wine runs every Windows process as a Unix process: utime + stime of
# /proc/PID/stat and VmRSS/VmHWM of /proc/PID/status of the service's process. The
# wineserver and the driver host (winedevice.exe) do part of the work of the service's
# system calls; their CPU time is printed beside it. service_probe.exe prints what
# Windows itself reports about the process, for comparison: under Wine 8 its working
# set equals VmRSS, while GetProcessTimes of another process is not cumulative and
# measures nothing.
#
# Beside it runs idle_program.exe, built as the service is, in the same prefix: its
# working set is the baseline the service's is compared with. After the span, the
# system calls of the service's threads and of the wineserver are counted with strace
# for STRACE_SECONDS (default 20; 0 skips it) and printed per tick (strace slows the
# processes it watches, so the CPU figures come from the span before).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export QUO_BUILD=${QUO_BUILD:-$root/build}
. "$root/tools/wine-env.sh"

minutes=${1:-3}
awk -v m="$minutes" 'BEGIN { exit !(m ~ /^[0-9]+(\.[0-9]+)?$/ && m > 0) }' ||
    { echo "usage: bench-service.sh [MINUTES] (a positive number)" >&2; exit 2; }
seconds=$(awk -v m="$minutes" 'BEGIN { s = int(m * 60 + 0.5); print (s < 1) ? 1 : s }')
warmup=${WARMUP_SECONDS:-10}
strace_seconds=${STRACE_SECONDS:-20}
bin="$QUO_BUILD/bin"
[ -f "$bin/quomonsv.exe" ] && [ -f "$bin/service_probe.exe" ] && [ -f "$bin/idle_program.exe" ] ||
    "$root/tools/build.sh"

mkdir -p "$QUO_WINE_DIR/tmp"
prefix=$(mktemp -d "$QUO_WINE_DIR/tmp/bench.XXXXXX")
win() { WINEPREFIX="$prefix" wine "$@" </dev/null 2>>"$prefix/.quo-wine.log"; }
cleanup() {
    win "$bin/quomonsv.exe" /UNINSTALL >/dev/null || true
    quo_server_stop "$prefix"
    rm -rf "$prefix"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

echo "Preparing a simulated desktop in $prefix ..."
quo_prefix_ensure
quo_prefix_clone "$prefix"
quo_server_start "$prefix"
"$root/tools/sim-hw" "$prefix" desktop >/dev/null
win reg add 'HKLM\Software\ZAV\QUOViewer\DevInfo' /v Interval /t REG_DWORD /d 1000 /f >/dev/null
win reg delete 'HKLM\Software\ZAV\QUOViewer\DbgLog' /f >/dev/null 2>&1 || true
win net start winmgmt >/dev/null
win "$bin/quomonsv.exe" /INSTALL "\"$(quo_winpath "$bin/quomonsv.exe")\"" ||
    { echo "bench-service: /INSTALL failed" >&2; exit 1; }
win "$bin/quomonsv.exe" /START || { echo "bench-service: /START failed" >&2; exit 1; }

# The Unix processes of this prefix whose Windows command line is exactly a program
# named $1 (a service runs without arguments); with a second argument "any", whatever
# its arguments.
unix_pids() {
    local name=$1 any=${2:-} p
    for p in /proc/[0-9]*; do
        tr '\0' '\n' 2>/dev/null <"$p/environ" | grep -qxF "WINEPREFIX=$prefix" || continue
        tr '\0' '\n' 2>/dev/null <"$p/cmdline" | awk -v n="$name" -v any="$any" \
            'NR == 1 { first = tolower($0) } NR == 2 && $0 != "" { args = 1 }
             END { exit !(length(first) >= length(n) && substr(first, length(first) - length(n) + 1) == n && (!args || any != "")) }' &&
            echo "${p#/proc/}"
    done
}

# CPU time in clock ticks (utime + stime) of the given processes together.
cpu_ticks() {
    local total=0 pid
    for pid in "$@"; do
        total=$((total + $(sed 's/^.*) //' "/proc/$pid/stat" | awk '{ print $12 + $13 }')))
    done
    echo "$total"
}

status_kb() { awk -v k="$2:" '$1 == k { print $2 }' "/proc/$1/status"; }

# S0 records of the raw log so far.
samples() {
    local file count=0
    for file in "$prefix"/drive_c/ProgramData/ZAV/QUOViewer/QUOLogRaw*.csv; do
        [ -f "$file" ] || continue
        count=$((count + $(iconv -f UTF-16 -t UTF-8 "$file" | awk -F, '$4 == 1' | wc -l)))
    done
    echo "$count"
}

probe() { win "$bin/service_probe.exe" | tr -d '\r'; }
probe_value() { awk -F= -v k="$2" '$1 == k { print $2 }' <<<"$1"; }

service_pid=$(unix_pids quomonsv.exe)
[ "$(wc -w <<<"$service_pid")" -eq 1 ] || { echo "bench-service: cannot find the service's process" >&2; exit 1; }
server_pid=$(cat "$(quo_server_pidfile "$prefix")")
device_pids=$(unix_pids winedevice.exe)
hz=$(getconf CLK_TCK)

idle_seconds=100000  # ended with the prefix's wineserver
win "$bin/idle_program.exe" "$idle_seconds" >/dev/null &
idle_pid=
for _ in $(seq 100); do
    idle_pid=$(unix_pids idle_program.exe any)
    [ -n "$idle_pid" ] && break
    sleep 0.2
done
[ "$(wc -w <<<"$idle_pid")" -eq 1 ] || { echo "bench-service: cannot find the idle program's process" >&2; exit 1; }

echo "Warming up for $warmup s, then measuring for $seconds s ..."
sleep "$warmup"
ticks0=$(samples); svc0=$(cpu_ticks "$service_pid"); srv0=$(cpu_ticks "$server_pid")
dev0=$(cpu_ticks $device_pids); rss0=$(status_kb "$service_pid" VmRSS); probe0=$(probe)
sleep "$seconds"
ticks1=$(samples); svc1=$(cpu_ticks "$service_pid"); srv1=$(cpu_ticks "$server_pid")
dev1=$(cpu_ticks $device_pids); rss1=$(status_kb "$service_pid" VmRSS); probe1=$(probe)
hwm=$(status_kb "$service_pid" VmHWM)
idle_rss=$(status_kb "$idle_pid" VmRSS)

# System calls of every thread of the given processes over $strace_seconds, from
# strace's summary.
count_syscalls() {
    local args=() pid tid
    for pid in "$@"; do
        for tid in /proc/"$pid"/task/*; do args+=(-p "${tid##*/}"); done
    done
    { timeout -s INT "$strace_seconds" strace -c -o /dev/stderr "${args[@]}" >/dev/null || true; } 2>&1 |
        awk '$NF == "total" { print $4; found = 1 } END { if (!found) print 0 }'
}
svc_calls=0; srv_calls=0; strace_ticks=0
if [ "$strace_seconds" -gt 0 ]; then
    echo "Counting system calls for $strace_seconds s ..."
    t0=$(samples)
    count_syscalls "$service_pid" >"$prefix/.svc-calls" &
    count_syscalls "$server_pid" >"$prefix/.srv-calls"
    wait $!
    strace_ticks=$(( $(samples) - t0 ))
    svc_calls=$(cat "$prefix/.svc-calls"); srv_calls=$(cat "$prefix/.srv-calls")
fi

ticks=$((ticks1 - ticks0))
[ "$ticks" -gt 0 ] || { echo "bench-service: the service wrote no samples" >&2; exit 1; }
awk -v ticks="$ticks" -v secs="$seconds" -v hz="$hz" \
    -v svc=$((svc1 - svc0)) -v srv=$((srv1 - srv0)) -v dev=$((dev1 - dev0)) \
    -v rss0="$rss0" -v rss1="$rss1" -v hwm="$hwm" -v idle="$idle_rss" \
    -v svc_calls="$svc_calls" -v srv_calls="$srv_calls" -v strace_ticks="$strace_ticks" \
    -v ws0="$(probe_value "$probe0" working_set_kb)" -v ws1="$(probe_value "$probe1" working_set_kb)" \
    -v pt0="$(( $(probe_value "$probe0" kernel_ms) + $(probe_value "$probe0" user_ms) ))" \
    -v pt1="$(( $(probe_value "$probe1" kernel_ms) + $(probe_value "$probe1" user_ms) ))" '
function ms(t) { return t * 1000 / hz }
BEGIN {
    printf "Service benchmark: Interval 1000 ms, tracing off, no client, simulated desktop\n"
    printf "  measured span                %d s, %d samples (S0 records)\n", secs, ticks
    printf "  service CPU time             %.0f ms: %.2f ms per tick, %.2f %% of one core\n", ms(svc), ms(svc) / ticks, ms(svc) / (secs * 10)
    printf "  service working set (VmRSS)  %d kB at start, %d kB at end (%+d kB, %+.1f kB per hour); peak %d kB\n", rss0, rss1, rss1 - rss0, (rss1 - rss0) * 3600 / secs, hwm
    printf "  idle program working set     %d kB: the service uses %+d kB more\n", idle, rss1 - idle
    printf "  wineserver CPU time          %.0f ms: %.2f ms per tick\n", ms(srv), ms(srv) / ticks
    printf "  service + wineserver CPU     %.2f ms per tick\n", (ms(svc) + ms(srv)) / ticks
    if (strace_ticks > 0)
        printf "  system calls per tick        service %.0f, wineserver %.0f (strace over %d ticks)\n", svc_calls / strace_ticks, srv_calls / strace_ticks, strace_ticks
    printf "  driver host CPU time         %.0f ms: %.2f ms per tick\n", ms(dev), ms(dev) / ticks
    printf "  Windows view (service_probe) working set %d kB at start, %d kB at end; process times %d ms, then %d ms\n", ws0, ws1, pt0, pt1
}'
