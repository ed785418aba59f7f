# The demo's operator prompt: commands in an operator's words become slot writes of the control
# system or control lines of the decks, and the table shows what follows. Needs the demo's
# helpers: infodriver, deck_control, VT_PORT, VT_DECK, VTS, and the table.

console_help() {
    cat <<'HELP'
commands (N: the VT's number, 1 to 9):
  vtN play | stop | rec | ff | rew      transport
  vtN shuttle | jog | var SPEED         SPEED 0 to 255; negative runs in reverse
  vtN cue HH.MM.SS.FF                   cue to a time point
  vtN reset                             restart the VT's communication
  vtN slot SLOT [TEXT]                  write any slot of the VT's infodriver
  fault vtN silent | corrupt | closed | nak [COUNT] | delay MS | clear
                                        make the VT's deck misbehave, or behave again
  table                                 show the table now
  watch [SECONDS]                       the live table for a while (default 5)
  help, quit
HELP
}

console_error() {
    printf 'error: %s (type help for the commands)\n' "$*"
    return 1
}

is_number() { [[ $1 =~ ^-?[0-9]{1,6}$ ]]; }

# Shows the table after the driver has had a poll round to answer.
settle() {
    sleep 1.5
    table_show --print
}

watch_table() {
    local seconds=${1:-5} until
    is_number "$seconds" && [ "$seconds" -ge 0 ] || { console_error "watch takes seconds"; return; }
    until=$((SECONDS + seconds))
    while [ "$SECONDS" -lt "$until" ]; do table_show; sleep 0.5; done
    table_release
    [ "$TABLE_LIVE" -eq 1 ] || table_show --print
}

# The VT named by "vtN", or an error when it is not one of the configured ones.
named_vt() {
    local n=${1:2}
    [[ $n =~ ^[1-9]$ ]] || { console_error "no VT \"$1\": VT1 to VT9"; return 1; }
    [ "${VT_PORT[n]:-0}" -gt 0 ] \
        || { console_error "VT$n is not configured (configured: ${VTS[*]/#/VT})"; return 1; }
    echo "$n"
}

write_slot() {
    local text=${3//\\/\\\\}
    infodriver "write $(vt_device "$1") $2 $text"
    printf 'infodriver %s slot %s <- "%s"\n' "$(vt_device "$1")" "$2" "$3"
}

vt_command() {
    local n speed
    n=$(named_vt "$1") || { echo "$n"; return 1; }
    local verb=${2:-}
    set -- "$1" "${verb,,}" "${@:3}"
    case $2 in
        play) write_slot "$n" 1 2 ;;
        stop) write_slot "$n" 1 1 ;;
        rec) write_slot "$n" 1 3 ;;
        ff) write_slot "$n" 1 5 ;;
        rew) write_slot "$n" 1 4 ;;
        var | shuttle | jog)
            speed=${3:-}
            { is_number "$speed" && [ "${speed#-}" -le 255 ]; } \
                || { console_error "$2 takes a speed from -255 to 255"; return; }
            local number
            case $2 in var) number=7 ;; shuttle) number=8 ;; jog) number=9 ;; esac
            write_slot "$n" 1 "$number,$speed" ;;
        cue)
            [[ ${3:-} =~ ^[0-9]{2}\.[0-9]{2}\.[0-9]{2}\.[0-9]{2}$ ]] \
                || { console_error "cue takes a time point HH.MM.SS.FF, e.g. 00.01.00.00"; return; }
            write_slot "$n" 12 "$3"
            write_slot "$n" 1 21 ;;
        reset) write_slot "$n" 1 RESET ;;
        slot)
            [[ ${3:-} =~ ^[0-9]{1,9}$ ]] || { console_error "slot takes a slot number"; return; }
            write_slot "$n" "$3" "${*:4}" ;;
        "") console_error "what should VT$n do?"; return ;;
        *) console_error "VT$n cannot \"$2\""; return ;;
    esac
    settle
}

fault_command() {
    local n deck kind=${3:-}
    n=$(named_vt "${2:-}") || { echo "$n"; return 1; }
    deck=${VT_DECK[n]}
    case $kind in
        silent | corrupt | closed) deck_control "deck $deck fault $kind" ;;
        nak)
            [ -z "${4:-}" ] || { is_number "$4" && [ "$4" -gt 0 ]; } \
                || { console_error "nak takes a count of commands"; return; }
            deck_control "deck $deck fault nak ${4:-1}" ;;
        delay)
            { is_number "${4:-}" && [ "$4" -ge 0 ]; } \
                || { console_error "delay takes milliseconds"; return; }
            deck_control "deck $deck fault delay $4" ;;
        clear) deck_control "deck $deck clear" ;;
        "") console_error "which fault? silent, corrupt, closed, nak, delay or clear"; return ;;
        *) console_error "no fault \"$kind\""; return ;;
    esac
    printf 'deck %s (VT%s): %s\n' "$deck" "$n" "${*:3}"
    settle
}

# One line of input; false at "quit".
console_line() {
    local words
    read -r -a words <<<"$1"
    [ ${#words[@]} -eq 0 ] && return 0
    case ${words[0],,} in
        help | '?') console_help ;;
        table) table_show --print ;;
        watch) watch_table "${words[@]:1}" ;;
        quit | exit) return 1 ;;
        vt*) words[0]=${words[0],,}; vt_command "${words[@]}" ;;
        fault) fault_command "${words[@]}" ;;
        *) console_error "unknown command \"${words[0]}\"" ;;
    esac
    return 0
}

run_console() {
    local line
    console_help
    table_show --print
    while :; do
        if [ -t 0 ]; then
            read -r -e -p 'korvel> ' line || { echo; break; }
            history -s "$line"
        else
            printf 'korvel> '
            read -r line || { echo; break; }
            printf '%s\n' "$line"
        fi
        console_line "$line" || break
    done
}
