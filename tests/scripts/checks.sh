# Sourced by the Unix-side tests. check WHAT COMMAND... counts a check that
# holds (the command succeeds) or fails; finish prints what the failing
# commands said and the closing line, and gives the outcome. Scratch files
# go to $work, removed at exit.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0
failed=0

check() {
    local what=$1
    shift
    if "$@" >>"$work/log" 2>&1; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAILED: $what"
    fi
}

finish() {
    [ "$failed" -eq 0 ] || cat "$work/log"
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ]
}
