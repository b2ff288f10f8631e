# Sourced by the shell test drivers: fail records a failed check and goes on,
# finish ends the script with 1 when any check failed.
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
finish() {
    if [ "$failures" -ne 0 ]; then
        echo "$failures failure(s)"
        exit 1
    fi
    echo "all checks passed"
}
