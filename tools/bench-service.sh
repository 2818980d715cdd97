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
# Before the service starts, the wineserver and driver hosts of the prefix are measured
# alone for BASELINE_SECONDS (default: the measured span): the wineserver wakes on its
# own timers whether the service runs or not, and only the difference is the service's.
#
# Beside it run three idle_program.exe, built as the service is, in the same prefix: with
# one thread, with as many threads as the service, and with those threads and the
# system DLLs the service's images import. Their working sets are the baselines the
# service's is compared with: under Wine every thread's stack costs about a megabyte,
# and a DLL that needs the window system brings in the font libraries.
#
# After the span, the system calls of the service's threads and of the wineserver are
# counted with strace for STRACE_SECONDS (default 20; 0 skips it) and printed per tick
# (strace slows the processes it watches, so the CPU figures come from the span before).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export QUO_BUILD=${QUO_BUILD:-$root/build}
. "$root/tools/wine-env.sh"
quo_reexec_without_aslr "$0" "$@"
quo_name_failures bench-service.sh

minutes=${1:-3}
awk -v m="$minutes" 'BEGIN { exit !(m ~ /^[0-9]+(\.[0-9]+)?$/ && m > 0) }' ||
    { echo "usage: bench-service.sh [MINUTES] (a positive number)" >&2; exit 2; }
seconds=$(awk -v m="$minutes" 'BEGIN { s = int(m * 60 + 0.5); print (s < 1) ? 1 : s }')
warmup=${WARMUP_SECONDS:-10}
strace_seconds=${STRACE_SECONDS:-20}
baseline=${BASELINE_SECONDS:-$seconds}
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

server_pid=$(cat "$(quo_server_pidfile "$prefix")")
hz=$(getconf CLK_TCK)

# The prefix's own background (the wineserver's timers, the driver hosts) before the
# service runs: what the wineserver spends then is not the service's.
echo "Measuring the prefix without the service for $baseline s ..."
sleep "$warmup"
base_device_pids=$(unix_pids winedevice.exe)
base_srv0=$(cpu_ticks "$server_pid"); base_dev0=$(cpu_ticks $base_device_pids)
sleep "$baseline"
base_srv=$(( $(cpu_ticks "$server_pid") - base_srv0 )); base_dev=$(( $(cpu_ticks $base_device_pids) - base_dev0 ))

win "$bin/quomonsv.exe" /INSTALL "\"$(quo_winpath "$bin/quomonsv.exe")\"" ||
    { echo "bench-service: /INSTALL failed" >&2; exit 1; }
win "$bin/quomonsv.exe" /START || { echo "bench-service: /START failed" >&2; exit 1; }

service_pid=$(unix_pids quomonsv.exe)
[ "$(wc -w <<<"$service_pid")" -eq 1 ] || { echo "bench-service: cannot find the service's process" >&2; exit 1; }
device_pids=$(unix_pids winedevice.exe)

# Three idle programs: one thread; as many threads as the service; and those threads
# with the system DLLs the service and the DLLs of this project it loads import.
idle_seconds=100000  # ended with the prefix's wineserver
service_threads=$(ls "/proc/$service_pid/task" | wc -l)
system_dlls=$(for image in "$bin/quomonsv.exe" "$bin/QUOLog.dll" "$bin/QuoLevel.dll"; do
                  x86_64-w64-mingw32-objdump -p "$image" | awk '/DLL Name:/ { print $3 }'
              done | sort -fu | while read -r dll; do [ -e "$bin/$dll" ] || echo "$dll"; done)
start_idle() {
    local known=$1 pid p
    shift
    win "$bin/idle_program.exe" "$idle_seconds" "$@" >/dev/null &
    for _ in $(seq 100); do
        pid=
        for p in $(unix_pids idle_program.exe any); do
            grep -qxF "$p" <<<"$known" || pid=$p
        done
        [ -n "$pid" ] && { echo "$pid"; return 0; }
        sleep 0.2
    done
    echo "bench-service: cannot find the idle program's process" >&2
    return 1
}
idle_pid=$(start_idle "" 0)
idle_threads_pid=$(start_idle "$idle_pid" $((service_threads - 1)))
# shellcheck disable=SC2086 # one argument per DLL
idle_dlls_pid=$(start_idle "$idle_pid"$'\n'"$idle_threads_pid" $((service_threads - 1)) $system_dlls)

echo "Warming up for $warmup s, then measuring for $seconds s ..."
sleep "$warmup"
ticks0=$(samples); svc0=$(cpu_ticks "$service_pid"); srv0=$(cpu_ticks "$server_pid")
dev0=$(cpu_ticks $device_pids); rss0=$(status_kb "$service_pid" VmRSS); probe0=$(probe)
sleep "$seconds"
ticks1=$(samples); svc1=$(cpu_ticks "$service_pid"); srv1=$(cpu_ticks "$server_pid")
dev1=$(cpu_ticks $device_pids); rss1=$(status_kb "$service_pid" VmRSS); probe1=$(probe)
hwm=$(status_kb "$service_pid" VmHWM)
idle_rss=$(status_kb "$idle_pid" VmRSS)
idle_threads_rss=$(status_kb "$idle_threads_pid" VmRSS)
idle_dlls_rss=$(status_kb "$idle_dlls_pid" VmRSS)

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
    -v base_secs="$baseline" -v base_srv="$base_srv" -v base_dev="$base_dev" \
    -v rss0="$rss0" -v rss1="$rss1" -v hwm="$hwm" -v idle="$idle_rss" \
    -v idle_threads="$idle_threads_rss" -v threads="$service_threads" \
    -v idle_dlls="$idle_dlls_rss" -v dlls="$(echo $system_dlls)" \
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
    printf "  idle program, %d threads      %d kB: the service uses %+d kB more\n", threads, idle_threads, rss1 - idle_threads
    printf "  idle, %d threads, system DLLs %d kB: the service uses %+d kB more\n", threads, idle_dlls, rss1 - idle_dlls
    printf "    (the DLLs: %s)\n", dlls
    printf "  wineserver CPU time          %.0f ms: %.2f ms per tick\n", ms(srv), ms(srv) / ticks
    srv_idle = ms(base_srv) * secs / base_secs
    printf "  wineserver without service   %.0f ms in %d s before it started: %.2f ms per second\n", ms(base_srv), base_secs, ms(base_srv) / base_secs
    printf "  wineserver for the service   %.2f ms per tick (the difference)\n", (ms(srv) - srv_idle) / ticks
    printf "  service + wineserver CPU     %.2f ms per tick; %.2f ms counting only the difference\n", (ms(svc) + ms(srv)) / ticks, (ms(svc) + ms(srv) - srv_idle) / ticks
    if (strace_ticks > 0)
        printf "  system calls per tick        service %.0f, wineserver %.0f (strace over %d ticks)\n", svc_calls / strace_ticks, srv_calls / strace_ticks, strace_ticks
    printf "  driver host CPU time         %.0f ms: %.2f ms per tick; %.0f ms in %d s without the service\n", ms(dev), ms(dev) / ticks, ms(base_dev), base_secs
    printf "  Windows view (service_probe) working set %d kB at start, %d kB at end; process times %d ms, then %d ms\n", ws0, ws1, pt0, pt1
}'
