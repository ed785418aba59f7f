# The demo's scripted show. Every step says what the control system does, then waits until the
# driver's slots and panel show the result, with the live table refreshed meanwhile; a result
# that does not come in time stops the show (SHOW_FAILURE says which). Needs the demo's
# helpers: infodriver, deck_control, VTS, VT_DECK, SHORT, and the table.

SHOW_FAILURE=

# Refreshes the table until the condition holds; false after TIMEOUT seconds.
await() {
    local timeout=$1 deadline
    shift
    deadline=$((SECONDS + timeout))
    while :; do
        table_show
        "$@" && return 0
        [ "$SECONDS" -ge "$deadline" ] && return 1
        sleep 0.3
    done
}

# Keeps the table live for a while: the long show's pauses, the short show's glimpses.
hold() {
    local long=$1 short=$2 until
    [ "$SHORT" -eq 1 ] && long=$short
    until=$((SECONDS + long))
    while [ "$SECONDS" -lt "$until" ]; do table_show; sleep 0.5; done
}

step_failed() { SHOW_FAILURE=$*; return 1; }

# The control system writes a slot of VT n's infodriver.
control_writes() {
    narrate "    infodriver $(vt_device "$1") slot $2 <- \"$3\""
    infodriver "write $(vt_device "$1") $2 $3"
}

all_answer() {
    local n
    for n in "${VTS[@]}"; do [ "$(panel_text $((2100 + n)))" = OK ] || return 1; done
}
in_state() { [ "$(slot_text "$1" 2)" = "$2" ] && [ "$(panel_text $((2200 + $1)))" = "$3" ]; }
comms_shows() { [ "$(panel_text $((2100 + $1)))" = "$2" ] && [[ $(slot_text "$1" 3) == "$3"* ]]; }
timecode_is() { [ "$(slot_text "$1" 11)" = "$2" ]; }
# Timecodes "hh.mm.ss.ff" compare as text.
timecode_past() { [[ $(slot_text "$1" 11) > $2 ]]; }
timecode_before() {
    local now
    now=$(slot_text "$1" 11)
    [ -n "$now" ] && [[ $now < $2 ]]
}
cueing_or_cued() { in_state "$1" 10 Cueing || in_state "$1" 21 Cued; }

# VT n plays, and its timecode in slot 11 runs.
plays_and_runs() {
    local start
    control_writes "$1" 1 2
    await 10 in_state "$1" 2 Play || { step_failed "VT$1 did not play"; return 1; }
    start=$(slot_text "$1" 11)
    await 10 timecode_past "$1" "$start" || { step_failed "VT$1's timecode did not run"; return 1; }
}

run_show() {
    local a=${VTS[0]} b=${VTS[1]:-} start
    TABLE_START=$SECONDS

    narrate "every VT is polled; waiting until each one answers"
    await 20 all_answer || { step_failed "not every VT answered"; return 1; }

    narrate "VT$a plays"
    plays_and_runs "$a" || return 1
    hold 4 1

    if [ -n "$b" ]; then
        narrate "VT$b cues to 00.01.00.00: the cue point into slot 12, then the cue command"
        control_writes "$b" 12 00.01.00.00
        control_writes "$b" 1 21
        await 10 cueing_or_cued "$b" || { step_failed "VT$b did not cue"; return 1; }
        in_state "$b" 10 Cueing && narrate "VT$b is cueing (slot 2 \"10\")"
        await 15 in_state "$b" 21 Cued || { step_failed "VT$b did not report cued"; return 1; }
        await 5 timecode_is "$b" 00.01.00.00 \
            || { step_failed "VT$b is not at its cue point"; return 1; }
        narrate "VT$b is cued at 00.01.00.00 (slot 2 \"21\")"
        hold 3 0
    else
        narrate "(only one VT is configured: no cue)"
    fi

    narrate "VT$a shuttles in reverse at speed 20"
    control_writes "$a" 1 8,-20
    await 10 in_state "$a" 8 Shuttle || { step_failed "VT$a did not shuttle"; return 1; }
    start=$(slot_text "$a" 11)
    await 10 timecode_before "$a" "$start" \
        || { step_failed "VT$a's timecode did not run back"; return 1; }
    hold 4 0

    narrate "deck ${VT_DECK[a]} (VT$a) goes silent: the driver marks it failed"
    deck_control "deck ${VT_DECK[a]} fault silent"
    await 10 comms_shows "$a" '!! tFAIL !!' 1, \
        || { step_failed "VT$a was not marked failed"; return 1; }
    hold 3 0

    narrate "deck ${VT_DECK[a]} answers again: the driver recovers it"
    deck_control "deck ${VT_DECK[a]} clear"
    await 10 comms_shows "$a" OK 0, || { step_failed "VT$a did not recover"; return 1; }

    narrate "VT$a plays on; the timecode runs"
    plays_and_runs "$a" || return 1
    hold 5 1

    narrate "every VT stops"
    local n
    for n in "${VTS[@]}"; do control_writes "$n" 1 1; done
    for n in "${VTS[@]}"; do
        await 10 in_state "$n" 1 Stop || { step_failed "VT$n did not stop"; return 1; }
    done
    if [ "$TABLE_LIVE" -eq 1 ]; then
        table_show
        table_release
    else
        table_show --print
    fi
    narrate "the show is over"
}
