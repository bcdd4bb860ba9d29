# One line per check and a closing count, shared by the packaging tests.
# shellcheck shell=bash
passed=0 failed=0 skipped=0

pass() { echo "ok: $1"; passed=$((passed + 1)); }
fail() { echo "FAILED: $1"; failed=$((failed + 1)); }
skip() { echo "skipped: $1"; skipped=$((skipped + 1)); }

# verdict NAME COMMAND...: the command succeeds.
verdict()
{
    local name=$1
    shift
    if "$@"; then pass "$name"; else fail "$name"; fi
}

# The closing line, and the script's status.
summary()
{
    echo "$passed passed, $failed failed, $skipped skipped"
    [ "$failed" -eq 0 ]
}
