# A virtual X display for a run: quo_xvfb_start exports DISPLAY and sets QUO_XVFB_PID;
# quo_xvfb_stop ends it. Sourced by the run scripts.
QUO_XVFB_PID=

quo_xvfb_start() {
    local n i
    for n in $(seq 90 140); do
        [ -e "/tmp/.X${n}-lock" ] || [ -e "/tmp/.X11-unix/X${n}" ] || break
    done
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
    QUO_XVFB_PID=$!
    for i in $(seq 1 100); do
        [ -e "/tmp/.X11-unix/X${n}" ] && break
        sleep 0.05
    done
    export DISPLAY=":$n"
}

quo_xvfb_stop() {
    if [ -n "$QUO_XVFB_PID" ]; then
        kill "$QUO_XVFB_PID" 2>/dev/null || true
        wait "$QUO_XVFB_PID" 2>/dev/null || true
        QUO_XVFB_PID=
    fi
}
