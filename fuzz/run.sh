#!/usr/bin/env bash
# Runs fuzzers of a fuzz build (see README.md) for a fixed time each, one after another, from the
# committed seeds. What they find goes to the build folder, never into fuzz/corpus/. Fails at
# the first crash, leak, undefined behaviour, time-out or broken check, and shows its report.
# Usage: fuzz/run.sh BUILD_FOLDER SECONDS [TARGET...]   (targets: image_header inifile
# number_text ftp_password ftp_listing web_metadata; all by default)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
seconds=$2
shift 2
targets=("$@")
if ((${#targets[@]} == 0)); then
    targets=(image_header inifile number_text ftp_password ftp_listing web_metadata)
fi

for target in "${targets[@]}"; do
    work=$build/fuzz-corpus/$target
    artifacts=$build/fuzz-artifacts/$target
    log=$build/fuzz-logs/$target.log
    mkdir -p "$work" "$artifacts" "$(dirname "$log")"
    # The image reader looks at 64 KiB; its inputs must be able to reach past that.
    max_len=4096
    if [[ $target == image_header ]]; then
        max_len=66000
    elif [[ $target == web_metadata ]]; then
        # Room for a camera's EXIF block with its preview.
        max_len=16384
    fi
    echo "Fuzzing $target for $seconds s (log: $log)"
    rc=0
    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -max_len="$max_len" -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts/" \
        "$work" "$top/fuzz/corpus/$target" >"$log" 2>&1 || rc=$?
    if ((rc != 0)); then
        tail -n 60 "$log" >&2
        echo "fuzz_$target failed (exit $rc); the input is in $artifacts" >&2
        exit 1
    fi
    # The last status line (coverage, features, corpus), then the totals.
    grep -E '^#[0-9]+[[:space:]]+(NEW|REDUCE|pulse|INITED|DONE) ' "$log" | tail -n 1 | sed -E 's/ +MS:.*//'
    grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' "$log"
    echo "  corpus: $(find "$work" -type f | wc -l) inputs in $work"
done
