#!/usr/bin/env bash
# Runs a test, and once more when LeakSanitizer's own tracer crashed as the test exited ("Tracer
# caught signal 11", then "LeakSanitizer has encountered a fatal error"): an intermittent fault
# of the sanitizer runtime on a busy machine, which says nothing about the test.
log=$(mktemp)
trap 'rm -f "$log"' EXIT
"$@" 2>&1 | tee "$log"
status=${PIPESTATUS[0]}
if ((status != 0)) && grep -q "^Tracer caught signal" "$log" &&
    grep -q "LeakSanitizer has encountered a fatal error" "$log"; then
    echo "LeakSanitizer's tracer crashed at exit; running the test once more." >&2
    "$@"
    exit $?
fi
exit "$status"
