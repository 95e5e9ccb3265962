# Sourced by scripts that need a display: starts Xvfb on a free display number and stops it
# again when the script exits.

# start_virtual_display WIDTHxHEIGHT: sets DISPLAY and VIRTUAL_DISPLAY_PID.
start_virtual_display() {
    local size=$1 number
    for number in $(seq 90 140); do
        if [ ! -e "/tmp/.X11-unix/X$number" ] && [ ! -e "/tmp/.X$number-lock" ]; then
            Xvfb ":$number" -screen 0 "${size}x24" -nolisten tcp >/dev/null 2>&1 &
            VIRTUAL_DISPLAY_PID=$!
            export DISPLAY=":$number"
            local tries
            for tries in $(seq 100); do
                if [ -e "/tmp/.X11-unix/X$number" ]; then return 0; fi
                if ! kill -0 "$VIRTUAL_DISPLAY_PID" 2>/dev/null; then break; fi
                sleep 0.1
            done
        fi
    done
    echo "Could not start a virtual display." >&2
    return 1
}

stop_virtual_display() {
    if [ -n "${VIRTUAL_DISPLAY_PID:-}" ]; then
        kill "$VIRTUAL_DISPLAY_PID" 2>/dev/null || true
        wait "$VIRTUAL_DISPLAY_PID" 2>/dev/null || true
        VIRTUAL_DISPLAY_PID=""
    fi
}
