# The demo's live table: per VT the panel's Comms, Transport, Last Cmd and frame counters (read
# from the driver's window by the probe) and the slots the driver wrote (read from the
# infodriver emulator's events). Needs probe, DEVICE, VTS and WORK from the demo.

declare -A PANEL SLOT
TABLE_TEXT=       # the table as last built
TABLE_SHOWN=      # the table as last printed, without the columns that always move
TABLE_LINES=0     # lines of the table now standing at the bottom of a terminal
TABLE_START=$SECONDS

# A terminal gets the table redrawn in place; anything else gets a copy whenever a state
# changes, so a log of the run stays readable.
if [ -t 1 ]; then TABLE_LIVE=1; else TABLE_LIVE=0; fi

vt_device() { echo $((DEVICE + $1 - 1)); }

refresh_state() {
    local key value dev slot
    PANEL=()
    while read -r key value; do PANEL[${key#panel.}]=$value; done < <(probe panel)
    SLOT=()
    while read -r dev slot value; do SLOT["$dev $slot"]=$value; done < <(awk '
        $2 == "write" {
            at = index($0, " text=")
            last[substr($3, 5) " " substr($4, 6)] = at ? substr($0, at + 6) : ""
        }
        END { for (k in last) print k, last[k] }' "$WORK/infodriver.out" 2>/dev/null)
}

panel_text() { printf '%s' "${PANEL[$1]:-}"; }
slot_text() { printf '%s' "${SLOT["$(vt_device "$1") $2"]:-}"; }

build_table() {
    local n row fixed=
    TABLE_TEXT=$(printf '%-4s %-12s %-9s %-9s %-12s %-9s %-9s %-7s %s' \
        VT Comms Transport 'Last Cmd' Timecode Tx Rx 'Slot 2' 'Slot 3')
    for n in "${VTS[@]}"; do
        row=$(printf '%-4s %-12s %-9s %-9s %-12s %-9s %-9s %-7s %s' "VT$n" \
            "$(panel_text $((2100 + n)))" "$(panel_text $((2200 + n)))" \
            "$(panel_text $((2300 + n)))" "$(slot_text "$n" 11)" \
            "$(panel_text $((2400 + n)))" "$(panel_text $((2500 + n)))" \
            "$(slot_text "$n" 2)" "$(slot_text "$n" 3)")
        TABLE_TEXT+=$'\n'$row
        fixed+="${row:0:37}|$(slot_text "$n" 2)|$(slot_text "$n" 3);"
    done
    TABLE_FIXED=$fixed
}

table_erase() {
    if [ "$TABLE_LINES" -gt 0 ]; then printf '\033[%dA\033[J' "$TABLE_LINES"; fi
    TABLE_LINES=0
}

table_draw() {
    printf '%s\n' "$TABLE_TEXT"
    TABLE_LINES=$(($(printf '%s\n' "$TABLE_TEXT" | wc -l)))
}

# Reads the state and shows it: redrawn on a terminal, printed on a change otherwise (or always
# with --print).
table_show() {
    refresh_state
    build_table
    if [ "$TABLE_LIVE" -eq 1 ] && [ "${1:-}" != --print ]; then
        table_erase
        table_draw
    elif [ "${1:-}" = --print ] || [ "$TABLE_FIXED" != "$TABLE_SHOWN" ]; then
        table_erase
        printf -- '-- %3d s\n%s\n' $((SECONDS - TABLE_START)) "$TABLE_TEXT"
    fi
    TABLE_SHOWN=$TABLE_FIXED
}

# A line of narration above the live table.
narrate() {
    local lines=$TABLE_LINES
    table_erase
    printf '== %s\n' "$*"
    if [ "$lines" -gt 0 ]; then table_draw; fi
}

# Leaves the table where it stands; what follows goes below it.
table_release() { TABLE_LINES=0; }
