# A virtual X display for a run: quo_xvfb_start exports DISPLAY and sets QUO_XVFB_PID;
# quo_xvfb_stop ends it. Sourced by the run scripts and by tests that want a display of
# their own.
QUO_XVFB_PID=

quo_xvfb_start() {
    local n i
    for n in $(seq 90 140); do
        [ -e "/tmp/.X${n}-lock" ] || [ -e "/tmp/.X11-unix/X${n}" ] && continue
        Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
        QUO_XVFB_PID=$!
        # Another run may have taken the number a moment before: then this server ends
        # and the next number is tried.
        for i in $(seq 1 100); do
            kill -0 "$QUO_XVFB_PID" 2>/dev/null || break
            if [ -e "/tmp/.X11-unix/X${n}" ]; then
                export DISPLAY=":$n"
                return 0
            fi
            sleep 0.05
        done
        quo_xvfb_stop
    done
    echo "no free X display number" >&2
    return 1
}

quo_xvfb_stop() {
    if [ -n "$QUO_XVFB_PID" ]; then
        kill "$QUO_XVFB_PID" 2>/dev/null || true
        wait "$QUO_XVFB_PID" 2>/dev/null || true
        QUO_XVFB_PID=
    fi
}
