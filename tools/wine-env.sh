# Shell functions that manage the project's Wine prefixes. Sourced by the other tools.
#
# A pristine template prefix is created once per build folder ($QUO_BUILD/wine/template,
# 10-20 s). Each test run works in a base prefix copied from it ($QUO_BUILD/wine/base),
# booted once and kept with a persistent wineserver; a test that needs a clean machine
# runs in a copy of the template of its own. Every command is scoped with WINEPREFIX:
# other prefixes may be running on the machine.

QUO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
: "${QUO_BUILD:=$QUO_ROOT/build}"
QUO_WINE_DIR="$QUO_BUILD/wine"
QUO_BASE_PREFIX="$QUO_WINE_DIR/base"
QUO_TEMPLATE_PREFIX="$QUO_WINE_DIR/template"

export WINEDEBUG="${WINEDEBUG:--all}"
# The setup steps that write into a prefix's log keep Wine's error messages: a step
# that fails there leaves its reason in the log.
QUO_LOG_WINEDEBUG="-all,err+all"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export WINEARCH=win64
: "${HOME:=/root}"
export HOME

quo_log() { printf '[wine] %s\n' "$*" >&2; }

# Starts the calling script again ($1 its path, the rest its arguments) without address
# randomization, when it runs with it. Debian's Wine has no preloader: the kernel puts
# the heap of each wine process anywhere up to 1 GB above the loader (0x7d000000), and
# now and then over 0x7ffe0000, where Wine must map the shared user data; that process
# then fails to start ("failed to map the shared user data": a silent exit code 1, or a
# CreateProcess failing with 1359). The setting is inherited by every process the
# script starts, wineserver and Wine's own processes included.
quo_reexec_without_aslr() {
    (( 0x$(cat /proc/self/personality) & 0x0040000 )) && return 0
    exec setarch "$(uname -m)" --addr-no-randomize "$BASH" "$@"
}

# Makes the calling script (named $1) print its failing step's line and command before
# set -e ends it, also for a step inside a shell function.
quo_name_failures() {
    set -E
    trap "echo \"$1: line \$LINENO failed: \$BASH_COMMAND\" >&2" ERR
}

# Runs a wine command in prefix $1 with stdout/stderr into the prefix's log file, so
# that no process of the session ever holds the caller's pipes.
quo_wine_quiet() {
    local prefix=$1; shift
    WINEPREFIX="$prefix" WINEDEBUG="$QUO_LOG_WINEDEBUG" wine "$@" </dev/null >>"$prefix/.quo-wine.log" 2>&1
}

# Runs a step that sets up prefix $1 (the rest of the line: a command that starts a wine
# process), its output into the prefix's log. A wine process that cannot start (see
# quo_reexec_without_aslr) ends with exit code 1 without a word: a step that ends so runs
# once more. A step that fails and says why is not repeated.
quo_setup_step() {
    local log="$1/.quo-wine.log" size rc=0
    shift
    size=$(stat -c %s "$log" 2>/dev/null || echo 0)
    "$@" </dev/null >>"$log" 2>&1 || rc=$?
    if [ $rc -eq 1 ] && [ "$(stat -c %s "$log" 2>/dev/null || echo 0)" = "$size" ]; then
        quo_log "'$*' ended with exit code 1 without a word; running it again" 2>&1 | tee -a "$log" >&2
        rc=0
        "$@" </dev/null >>"$log" 2>&1 || rc=$?
    fi
    return $rc
}

# Runs a wine command as a setup step of prefix $1 (see quo_setup_step).
quo_wine_setup() { quo_setup_step "$1" quo_wine_quiet "$@"; }

quo_server_pidfile() { printf '%s/.quo-server.pid' "$1"; }

quo_server_running() {
    local pidfile pid
    pidfile=$(quo_server_pidfile "$1")
    [ -f "$pidfile" ] || return 1
    pid=$(cat "$pidfile")
    [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null
}

# Starts a persistent wineserver for prefix $1 and boots its session with output going
# to a file (a session booted from a pipe keeps that pipe open for ever). Further
# arguments are a command that wraps the boot (for example nsenter into a mount
# namespace): every process of the session, services included, inherits it. A boot
# that fails (now and then on a heavily loaded machine) is reported and tried once more
# with a new server.
quo_server_start() {
    local prefix=$1; shift
    quo_server_running "$prefix" && return 0
    local rc=0
    quo_server_boot "$prefix" "$@" || rc=$?
    if [ $rc -ne 0 ]; then
        quo_log "booting the session of $prefix failed (exit code $rc); booting it again"
        quo_server_stop "$prefix"
        quo_server_boot "$prefix" "$@"
    fi
}

quo_server_boot() {
    local prefix=$1; shift
    WINEPREFIX="$prefix" setsid wineserver -p -f </dev/null >/dev/null 2>&1 &
    local pid=$! i
    echo "$pid" >"$(quo_server_pidfile "$prefix")"
    # The server works in its own folder, where its socket appears once it is ready.
    for i in $(seq 1 200); do
        [ -S "/proc/$pid/cwd/socket" ] && break
        sleep 0.025
    done
    "$@" env WINEPREFIX="$prefix" WINEDEBUG="$QUO_LOG_WINEDEBUG" wine cmd /c exit 0 </dev/null >>"$prefix/.quo-wine.log" 2>&1
}

# Stops prefix $1's wineserver and every process of its session.
quo_server_stop() {
    local prefix=$1 pidfile pid i
    [ -d "$prefix" ] || return 0
    WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
    pidfile=$(quo_server_pidfile "$prefix")
    if [ -f "$pidfile" ]; then
        pid=$(cat "$pidfile")
        for i in $(seq 1 100); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -9 "$pid" 2>/dev/null || true
        rm -f "$pidfile"
    fi
    WINEPREFIX="$prefix" wineserver -w >/dev/null 2>&1 || true
}

# Boots and configures a new template prefix; fails with the step that failed.
quo_template_create() {
    local prefix=$QUO_TEMPLATE_PREFIX
    rm -rf "$prefix"
    mkdir -p "$prefix"
    WINEPREFIX="$prefix" wineboot -i </dev/null >>"$prefix/.quo-wine.log" 2>&1 ||
        { quo_log "wineboot failed in $prefix"; return 1; }
    WINEPREFIX="$prefix" wineserver -w
    quo_import_reg "$prefix" "$QUO_ROOT/tools/wine-base.reg.in" ||
        { quo_log "importing the base registry failed in $prefix"; return 1; }
    WINEPREFIX="$prefix" wineserver -w
    touch "$prefix/.quo-ready"
}

# Creates and configures the template prefix once per build folder, and the base
# prefix from it when there is none. A boot on a heavily loaded machine now and then
# fails once; it is tried a second time, its first log kept beside the prefix.
quo_prefix_ensure() {
    mkdir -p "$QUO_WINE_DIR"
    (
        flock 9
        if [ ! -f "$QUO_TEMPLATE_PREFIX/.quo-ready" ]; then
            quo_log "creating the Wine prefix $QUO_TEMPLATE_PREFIX (10-20 s)"
            if ! quo_template_create; then
                WINEPREFIX="$QUO_TEMPLATE_PREFIX" wineserver -k >/dev/null 2>&1 || true
                cp "$QUO_TEMPLATE_PREFIX/.quo-wine.log" "$QUO_WINE_DIR/template-failed.log" 2>/dev/null || true
                quo_log "creating the Wine prefix again (first log: $QUO_WINE_DIR/template-failed.log)"
                quo_template_create
            fi
        fi
        if [ ! -f "$QUO_BASE_PREFIX/.quo-ready" ]; then
            quo_prefix_clone "$QUO_BASE_PREFIX"
        fi
    ) 9>"$QUO_WINE_DIR/.prefix.lock"
}

# Replaces the base prefix with a new copy of the template: every run starts clean.
quo_prefix_reset() {
    quo_server_stop "$QUO_BASE_PREFIX"
    rm -rf "$QUO_BASE_PREFIX"
    quo_prefix_ensure
}

# Imports a UTF-8 registry file (Japanese names included) into prefix $1: regedit
# wants UTF-16LE with a byte-order mark.
quo_import_reg() {
    local prefix=$1 src=$2 tmp rc=0
    tmp="$prefix/drive_c/quo-import.reg"
    { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE "$src"; } >"$tmp" || return 1
    quo_wine_setup "$prefix" regedit /S 'C:\quo-import.reg' || rc=$?
    rm -f "$tmp"
    return "$rc"
}

# Copies the template prefix to $1: a clean machine.
quo_prefix_clone() {
    local dst=$1
    rm -rf "$dst"
    cp -a "$QUO_TEMPLATE_PREFIX" "$dst"
    rm -f "$(quo_server_pidfile "$dst")" "$dst/.quo-wine.log"
}

# Sets the Windows version of every program of prefix $1 (vista, win7, win10, winxp64).
quo_prefix_set_version() {
    quo_wine_setup "$1" winecfg -v "$2"
}

# The Windows path (Z:\...) of a Unix path.
quo_winpath() {
    local abs
    abs=$(readlink -f "$1")
    printf 'Z:%s' "${abs//\//\\}"
}
