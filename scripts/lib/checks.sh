# Sourced by the package tests. `check WHAT COMMAND...` runs the command and counts it as passed,
# or stops the test naming WHAT; `fail TEXT` stops it. The caller sets `check_label` first; the
# count is in `passed`.
passed=0
fail() {
    echo "$check_label FAILED: $*" >&2
    exit 1
}
check() {
    local what=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
        echo "ok: $what"
    else
        fail "$what"
    fi
}
