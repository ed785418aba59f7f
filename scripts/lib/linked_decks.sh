# The Windows deck emulator, vtr-emulator.exe, on COM ports of its own, each joined to one of
# the driver's ports by a socat pair of linked pseudo-terminals: a site's null-modem cable
# between the driver's PC and a spare one, on one machine. Needs common.sh with use_wine done.

LINKED_DECKS_PID=
LINKED_DECKS_FD=
LINKED_DECKS_CONTROL=
SOCAT_PIDS=()

# start_linked_decks LOG CONTROL DRIVER_PORT:DECK_PORT ...: one deck per pair, on COM<DECK_PORT>,
# linked to COM<DRIVER_PORT>; its log goes to LOG and control lines written to the FIFO CONTROL
# reach its standard input. Further emulator options come from DECK_EMULATOR_ARGS.
start_linked_decks() {
    local log=$1 control=$2 pair driver deck i args=() decks=0
    shift 2
    for pair in "$@"; do
        driver="$WINEPREFIX/dosdevices/com${pair%:*}"
        deck="$WINEPREFIX/dosdevices/com${pair#*:}"
        rm -f "$driver" "$deck"
        socat pty,raw,echo=0,link="$driver" pty,raw,echo=0,link="$deck" </dev/null \
            >/dev/null 2>&1 &
        SOCAT_PIDS+=($!)
        for i in $(seq 1 50); do [ -L "$driver" ] && [ -L "$deck" ] && break; sleep 0.1; done
        [ -L "$deck" ] || { echo "socat made no link pair for $pair" >&2; return 1; }
        args+=(--port "COM${pair#*:}")
        decks=$((decks + 1))
    done
    # Held open for reading and writing, as the infodriver emulator's input is: a control
    # line never blocks, and the emulator's input ends only when we close it.
    rm -f "$control"
    mkfifo "$control" || return 1
    exec {LINKED_DECKS_FD}<>"$control"
    LINKED_DECKS_CONTROL=$control
    # shellcheck disable=SC2206
    [ -n "${DECK_EMULATOR_ARGS:-}" ] && args+=($DECK_EMULATOR_ARGS)
    (cd "$WIN32_BUILD/bin" && exec "$WINE64" ./vtr-emulator.exe "${args[@]}" \
        --log "Z:${log//\//\\}") <"$control" >"$log.out" 2>&1 &
    LINKED_DECKS_PID=$!
    for i in $(seq 1 100); do
        [ "$(grep -c ' open COM' "$log" 2>/dev/null)" -ge "$decks" ] && return 0
        kill -0 "$LINKED_DECKS_PID" 2>/dev/null || break
        sleep 0.1
    done
    echo "the Windows deck emulator did not open its ports (see $log)" >&2
    return 1
}

stop_linked_decks() {
    if [ -n "$LINKED_DECKS_PID" ]; then
        printf 'quit\n' >&"$LINKED_DECKS_FD"
        local i
        for i in $(seq 1 30); do kill -0 "$LINKED_DECKS_PID" 2>/dev/null || break; sleep 0.1; done
        kill "$LINKED_DECKS_PID" 2>/dev/null
        wait "$LINKED_DECKS_PID" 2>/dev/null
    fi
    [ -n "$LINKED_DECKS_FD" ] && exec {LINKED_DECKS_FD}>&-
    [ -n "$LINKED_DECKS_CONTROL" ] && rm -f "$LINKED_DECKS_CONTROL"
    local pid
    for pid in "${SOCAT_PIDS[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
    SOCAT_PIDS=()
    LINKED_DECKS_PID=
    LINKED_DECKS_FD=
    LINKED_DECKS_CONTROL=
}
