# The world around a running driver, for the scripts that show it: the infodriver emulator fed
# through a FIFO, korvel.exe with a settings tree of its own, the probe, and a picture of the
# window. Needs common.sh with use_wine done, and WORK: a folder of the caller's own, where the
# settings tree lives under root/ and the processes' output goes.

INFODRIVER_PID=
INFODRIVER_FD=
DRIVER_PID=
# The korvel.exe to run: the 64-bit build's unless a caller picks the 32-bit one (its tree
# and wine loader); the emulator and the probe are always the 64-bit build's.
DRIVER_BUILD=${DRIVER_BUILD:-$WIN32_BUILD}
DRIVER_WINE=${DRIVER_WINE:-$WINE64}

probe() { "$WINE64" "$WIN32_BUILD/bin/korvel-probe.exe" "$@" 2>/dev/null | tr -d '\r'; }

# The infodriver emulator serving the devices given (e.g. 101-109); its events go to
# $WORK/infodriver.out.
start_infodriver() {
    rm -f "$WORK/infodriver.in"
    mkfifo "$WORK/infodriver.in" || return 1
    # Held open for reading and writing: opening does not wait for the emulator, and a command
    # never blocks or ends the script, even when the emulator has gone.
    exec {INFODRIVER_FD}<>"$WORK/infodriver.in"
    (close_infodriver_input; cd "$WIN32_BUILD/bin" \
        && exec "$WINE64" ./infodriver-emulator.exe "$@") \
        <"$WORK/infodriver.in" >"$WORK/infodriver.out" 2>&1 &
    INFODRIVER_PID=$!
    local i
    for i in $(seq 1 100); do
        grep -q ' ready ' "$WORK/infodriver.out" 2>/dev/null && return 0
        kill -0 "$INFODRIVER_PID" 2>/dev/null || break
        sleep 0.1
    done
    echo "the infodriver emulator did not start (see $WORK/infodriver.out)" >&2
    return 1
}

# In the children: only we may hold the emulator's input, so it ends when we close it.
close_infodriver_input() { [ -z "$INFODRIVER_FD" ] || exec {INFODRIVER_FD}>&-; }

# One command line to the infodriver emulator.
infodriver() { [ -n "$INFODRIVER_FD" ] && printf '%s\n' "$*" >&"$INFODRIVER_FD"; }

stop_infodriver() {
    [ -n "$INFODRIVER_FD" ] || return 0
    if [ -n "$INFODRIVER_PID" ]; then
        infodriver quit
        wait_gone "$INFODRIVER_PID" 20 || kill "$INFODRIVER_PID" 2>/dev/null
    fi
    exec {INFODRIVER_FD}>&-
    INFODRIVER_FD=
    INFODRIVER_PID=
}

# Waits up to TENTHS tenths of a second for a process to end; false if it still runs.
wait_gone() {
    local i
    for i in $(seq 1 "$2"); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.1; done
    ! kill -0 "$1" 2>/dev/null
}

# korvel.exe DEVICE with the settings tree $WORK/root (RZ_SYSTEM "sys"), once its window is
# open; its output goes to $WORK/korvel.out.
start_driver() {
    (close_infodriver_input; cd "$DRIVER_BUILD/bin" \
        && RZ_ROOT="Z:${WORK//\//\\}\\root" RZ_SYSTEM=sys exec "$DRIVER_WINE" ./korvel.exe "$1") \
        >"$WORK/korvel.out" 2>&1 &
    DRIVER_PID=$!
    probe --wait 15000 caption >/dev/null && return 0
    echo "the driver's window did not open (see $WORK/korvel.out)" >&2
    return 1
}

# Exit through the menu, so every VT says goodbye to its infodriver; by force if that fails.
stop_driver() {
    [ -n "$DRIVER_PID" ] || return 0
    if kill -0 "$DRIVER_PID" 2>/dev/null; then
        probe command exit >/dev/null
        wait_gone "$DRIVER_PID" 30 || kill "$DRIVER_PID" 2>/dev/null
    fi
    DRIVER_PID=
}

# Polls the probe until its output for the arguments after the line holds that line.
wait_for_probe_line() {
    local line=$1 deadline=$((SECONDS + 20))
    shift
    until probe "$@" | grep -qxF "$line"; do
        [ "$SECONDS" -ge "$deadline" ] && return 1
        sleep 0.3
    done
}

# A PNG of the driver's window, restored, cut from the whole screen.
save_window_picture() {
    local output=$1 left top right bottom
    probe restore >/dev/null
    wait_for_probe_line "minimised 0" rect || return 1
    sleep 0.5  # let it paint
    read -r _ left top right bottom < <(probe rect | grep '^rect ')
    [ -n "${bottom:-}" ] || return 1
    mkdir -p "$(dirname "$output")"
    xwd -root -silent -display "$DISPLAY" | xwdtopnm 2>/dev/null \
        | pnmcut -left "$left" -top "$top" -width $((right - left)) -height $((bottom - top)) \
        | pnmtopng >"$output" 2>/dev/null
}
