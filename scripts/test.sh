#!/usr/bin/env bash
# Installs what is missing, checks that every source is formatted, builds the program and its
# tests twice (plain, then with AddressSanitizer and UndefinedBehaviorSanitizer) and runs every
# test in both builds, then builds the fuzzers with clang and runs each for 30 s. The tests start
# what they need themselves (an FTP server and an HTTP server on 127.0.0.1) and run headless.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh"

# The same files as the format target (cmake/CommonSettings.cmake): fail before building rather
# than after.
mapfile -t sources < <(find "$top/src" "$top/tests" "$top/bench" "$top/fuzz" -type f \( -name '*.cpp' -o -name '*.h' \) | sort)
if ! clang-format --dry-run -Werror "${sources[@]}"; then
    echo "Unformatted sources: run 'cmake --build <build folder> --target format'." >&2
    exit 1
fi
jobs=$(nproc)

build_and_test() {
    local dir=$1
    shift
    cmake -S "$top" -B "$dir" -G Ninja "$@" -DPEXA_BUILD_BENCH=OFF
    cmake --build "$dir" -j "$jobs"
    QT_QPA_PLATFORM=offscreen ctest --test-dir "$dir" --output-on-failure -j "$jobs"
}

build_and_test "$top/build-test" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_COMPILE_WARNING_AS_ERROR=ON
build_and_test "$top/build-sanitize" -DCMAKE_BUILD_TYPE=Debug -DPEXA_SANITIZE=ON

# The fuzzers (fuzz/): a clang build of their own, then each runs for 30 s from the committed
# seeds and fails the command on a crash, a leak, undefined behaviour or a broken check.
cmake -S "$top" -B "$top/build-fuzz" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DPEXA_FUZZ=ON -DPEXA_BUILD_TESTS=OFF -DPEXA_BUILD_BENCH=OFF -DCMAKE_COMPILE_WARNING_AS_ERROR=ON
cmake --build "$top/build-fuzz" -j "$jobs" --target fuzz_targets
"$top/fuzz/run.sh" "$top/build-fuzz" 30
echo "All tests passed in the plain and the sanitizer build; the fuzzers found nothing."
