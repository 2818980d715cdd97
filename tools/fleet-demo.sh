#!/usr/bin/env bash
# The fleet view on one machine. Three simulated desktop PCs, each a Wine prefix of its
# own (tools/wine-env.sh, tools/sim-hw) whose monitoring service writes its metrics file
# into its own folder; one prometheus-node-exporter per folder with the textfile
# collector; one Prometheus scraping the three exporters. All of it listens on loopback
# only, on free ports. The script asks Prometheus over its HTTP API for the fleet's total
# power and prints it beside the sum of what the three services send their pipe clients
# (tools/pipeprobe). At the end it stops everything it started: the services, each
# prefix's wineserver, the exporters and Prometheus (by their process ids); the
# prefixes are deleted, Prometheus's configuration, data and logs stay in
# $QUO_BUILD/fleet.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export QUO_BUILD=${QUO_BUILD:-$root/build}
. "$root/tools/wine-env.sh"
quo_reexec_without_aslr "$0" "$@"

"$root/tools/build.sh"

work="$QUO_BUILD/fleet"
bin="$QUO_BUILD/bin"
key='HKLM\Software\ZAV\QUOViewer'
# What each PC's power sensor reads, in half watts (PMBus LINEAR11 with exponent -1).
half_watts=(80 111 144)
prefixes=()
pids=()

cleanup() {
    set +e
    local pid prefix
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null
    done
    for pid in "${pids[@]}"; do
        wait "$pid" 2>/dev/null
    done
    for prefix in "${prefixes[@]}"; do
        WINEPREFIX="$prefix" wine "$bin/quomonsv.exe" /STOP </dev/null >>"$prefix/.quo-wine.log" 2>&1
        quo_server_stop "$prefix"
        rm -rf "$prefix"
    done
}
trap cleanup EXIT
trap 'exit 130' INT TERM

die() { echo "fleet-demo: $*" >&2; exit 1; }
wine_in() { WINEPREFIX="$1" wine "${@:2}" </dev/null 2>>"$1/.quo-wine.log"; }
# A loopback TCP port that nothing listens on now, and that this script has not handed out.
used_ports=" "
free_port() {
    local port
    while :; do
        port=$((20000 + RANDOM % 40000))
        case $used_ports in *" $port "*) continue ;; esac
        if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
            used_ports+="$port "
            echo "$port"
            return
        fi
    done
}
# Waits up to $1 seconds for the command after it to succeed.
wait_for() {
    local seconds=$1 i
    shift
    for i in $(seq 1 $((seconds * 4))); do
        "$@" && return 0
        sleep 0.25
    done
    return 1
}

# What an interrupted earlier run left behind.
for prefix in "$work"/pc*; do
    if [ -d "$prefix" ]; then
        quo_server_stop "$prefix"
    fi
done
rm -rf "$work"
mkdir -p "$work/data"
quo_prefix_ensure

targets=()
for i in 0 1 2; do
    pc="pc$((i + 1))"
    prefix="$work/$pc"
    echo "== $pc: a simulated desktop drawing $((half_watts[i] / 2)).$((half_watts[i] % 2 * 5)) W, its service writing C:\\QuoMetrics\\quoviewer.prom"
    quo_prefix_clone "$prefix"
    prefixes+=("$prefix")
    quo_server_start "$prefix"
    "$root/tools/sim-hw" "$prefix" desktop >/dev/null
    "$root/tools/sim-hw" "$prefix" set ZAVPSRD Gwat $((0xF800 + half_watts[i]))
    mkdir -p "$prefix/drive_c/QuoMetrics"
    wine_in "$prefix" reg add "$key\\DevInfo" /v Interval /t REG_DWORD /d 1000 /f >/dev/null
    wine_in "$prefix" reg add "$key" /v MetricsDir /t REG_SZ /d 'C:\QuoMetrics' /f >/dev/null
    wine_in "$prefix" "$bin/quomonsv.exe" /INSTALL "$(quo_winpath "$bin/quomonsv.exe")" >/dev/null
    wine_in "$prefix" net start winmgmt >/dev/null
    wine_in "$prefix" "$bin/quomonsv.exe" /START >/dev/null || die "the service of $pc does not start"

    free_port >"$work/port"
    port=$(cat "$work/port")
    prometheus-node-exporter --web.listen-address="127.0.0.1:$port" --collector.disable-defaults \
        --collector.textfile --collector.textfile.directory="$prefix/drive_c/QuoMetrics" \
        </dev/null >"$work/exporter-$pc.log" 2>&1 &
    pids+=($!)
    targets+=("'127.0.0.1:$port'")
    echo "   node exporter on 127.0.0.1:$port"
done

free_port >"$work/port"
port=$(cat "$work/port")
cat >"$work/prometheus.yml" <<EOF
global:
  scrape_interval: 2s
scrape_configs:
  - job_name: quoviewer
    static_configs:
      - targets: [$(IFS=,; echo "${targets[*]}")]
EOF
prometheus --config.file="$work/prometheus.yml" --storage.tsdb.path="$work/data" \
    --web.listen-address="127.0.0.1:$port" </dev/null >"$work/prometheus.log" 2>&1 &
pids+=($!)
api="http://127.0.0.1:$port"
echo "== Prometheus on 127.0.0.1:$port scraping the three exporters every 2 s"

# The value of a PromQL expression whose answer is one number, "" for none.
query() {
    curl -sf --get "$api/api/v1/query" --data-urlencode "query=$1" |
        sed -n 's/.*"result":\[{"metric":{[^}]*},"value":\[[^,]*,"\([^"]*\)"\]}\].*/\1/p'
}
all_three_scraped() { [ "$(query 'count(quoviewer_pc_power_watts)' 2>/dev/null)" = 3 ]; }
wait_for 30 curl -sf "$api/-/ready" -o /dev/null || die "Prometheus does not start (see $work/prometheus.log)"
wait_for 60 all_three_scraped || die "Prometheus does not see the three PCs (see $work/*.log)"

fleet=$(query 'sum(quoviewer_pc_power_watts) + sum(quoviewer_display_power_watts)')
pipe_watts=()
for prefix in "${prefixes[@]}"; do
    watts=$(wine_in "$prefix" "$bin/pipe_probe.exe" | tr -d '\r') || die "no live sample from the service of $(basename "$prefix")"
    echo "   $(basename "$prefix"): $watts W to its pipe clients"
    pipe_watts+=("$watts")
done
pipe_sum=$(printf '%s\n' "${pipe_watts[@]}" | awk '{ sum += $1 } END { printf "%.3f", sum }')
echo "== the fleet's power"
printf 'Prometheus (sum over the exporters): %s W\n' "$fleet"
printf 'pipe clients (sum over the services): %s W\n' "$pipe_sum"
