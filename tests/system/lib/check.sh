# The scripted tests' one assertion: check WHAT COMMAND... runs the command, prints "ok" or
# "FAIL" with WHAT, and counts the failures in $failures. Source it.
failures=0

check() {
    local what=$1
    shift
    if "$@"; then
        printf 'ok    %s\n' "$what"
    else
        printf 'FAIL  %s\n' "$what"
        failures=$((failures + 1))
    fi
}
