#!/usr/bin/env bash
# Installs what is needed, builds and runs every test: the normal build, an
# ASan+UBSan build, a ThreadSanitizer build of the thread tests, and each
# libFuzzer target for a bounded time.
#
# Each build folder is configured with every option it relies on, so a folder
# that something else configured before (tools/demo.sh builds apart, in
# build/demo) cannot leave a build without its tests; and a test run that
# finds no tests fails instead of passing.
#   TESSEL_JOBS          parallel compile and test jobs (default: all cores)
#   TESSEL_FUZZ_SECONDS  run time of each libFuzzer target (default: 30)
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh

jobs=${TESSEL_JOBS:-$(nproc)}
fuzz_seconds=${TESSEL_FUZZ_SECONDS:-30}
step() { printf '\n=== %s ===\n' "$*"; }

step "normal build"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSEL_WERROR=ON \
      -DTESSEL_TESTS=ON -DTESSEL_TOOLS=ON -DTESSEL_FUZZ=OFF -DTESSEL_SANITIZE=
cmake --build build/release -j "$jobs"
ctest --test-dir build/release --output-on-failure -j "$jobs" --no-tests=error

# The editor in a real X window: each plug-in's editor opens under Xvfb,
# idles, takes clicks, is saved as PNG and closes without an X error; the
# instrument's pages are used through the plug-in in a real window; and
# every page, every generator panel and every effect frame is saved as PNG
# under $build/editor-pages (CI keeps them: the pictures are reviewed by eye).
# The ASan build below runs the same again for leaks. Skipped without Xvfb.
editor_under_xvfb() {
    local build=$1
    if ! command -v xvfb-run >/dev/null; then
        echo "xvfb-run not installed: editor window check skipped"
        return 0
    fi
    xvfb-run -a "$build/tests/test_Gui" --gtest_filter='GuiX11Window.*'
    xvfb-run -a "$build/tests/test_Editor" --gtest_filter='*Window.*'
    for plugin in Tessel3-51 Tessel3-Stereo; do
        xvfb-run -a "$build/tools/host/tessel-host" editor "$build/plugins/$plugin.so" \
            --out "$build/editor-$plugin.png" --seconds 1
    done
    editor_pages "$build"
}

# One PNG per upper page, the keys page, each kind of generator panel and
# each effect type in all three sets (set 0 and 1 in the send slots, set X
# in the four insert slots, which always hold four different types).
editor_pages() {
    local build=$1 dir=$1/editor-pages
    local shot=(xvfb-run -a "$build/tools/host/tessel-host" editor "$build/plugins/Tessel3-Stereo.so" --seconds 0.4)
    rm -rf "$dir"
    mkdir -p "$dir"
    for page in 0 1 2 3 4 5 6; do
        "${shot[@]}" --page "$page" --out "$dir/page-$page.png" >/dev/null
    done
    "${shot[@]}" --page 0 --value 604=1 --out "$dir/page-keys.png" >/dev/null
    for type in 0 1 2 3; do
        local lower=$((type < 2 ? type : 2))
        "${shot[@]}" --page 1 --value 769="$type" --value 770="$type" --out "$dir/generators-12-type-$type.png" >/dev/null
        "${shot[@]}" --page 2 --value 777="$lower" --value 778="$lower" --out "$dir/generators-34-type-$lower.png" >/dev/null
    done
    for type in $(seq 0 11); do
        "${shot[@]}" --page 4 --value 213="$type" --value 214="$type" --value 215="$type" \
            --value 216=$(((type + 1) % 12)) --value 217=$(((type + 2) % 12)) --value 218=$(((type + 3) % 12)) \
            --out "$dir/effects-$type.png" >/dev/null
    done
    echo "editor pages: $(ls "$dir" | wc -l) pictures in $dir"
}
step "editor under Xvfb"
editor_under_xvfb build/release

step "ASan + UBSan build"
# fontconfig's process-long cache (used by the editor's text) is no leak of ours.
export LSAN_OPTIONS=suppressions=$PWD/tools/lsan-suppressions.txt
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTESSEL_WERROR=ON \
      -DTESSEL_SANITIZE=address,undefined -DTESSEL_TESTS=ON -DTESSEL_TOOLS=ON -DTESSEL_FUZZ=OFF
cmake --build build/asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build/asan --output-on-failure -j "$jobs" -LE realworld --no-tests=error
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    editor_under_xvfb build/asan

step "ThreadSanitizer build (thread tests)"
cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSEL_WERROR=ON \
      -DTESSEL_SANITIZE=thread -DTESSEL_TESTS=ON -DTESSEL_TOOLS=OFF -DTESSEL_FUZZ=OFF
cmake --build build/tsan -j "$jobs" --target test_thread test_thread_editor
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    ctest --test-dir build/tsan --output-on-failure -j "$jobs" -L thread --no-tests=error

step "libFuzzer targets (${fuzz_seconds}s each)"
CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DTESSEL_FUZZ=ON -DTESSEL_WERROR=ON -DTESSEL_SANITIZE=
cmake --build build/fuzz -j "$jobs"
# Each target's whole log and any crash input stay under build/fuzz/runs/NAME
# for whoever has to reproduce a failure; the tail of a failing log is shown.
shopt -s nullglob
fuzzers=(build/fuzz/tests/fuzz/fuzz_*)
((${#fuzzers[@]})) || { echo "no fuzz targets built"; exit 1; }
for fuzzer in "${fuzzers[@]}"; do
    [ -x "$fuzzer" ] || continue
    name=$(basename "$fuzzer")
    corpus=tests/fuzz/corpus/${name#fuzz_}
    run=build/fuzz/runs/$name
    rm -rf "$run"
    mkdir -p "$run/work" "$run/crashes"
    seeds=()
    [ -d "$corpus" ] && seeds=("$corpus")
    echo "--- $name (log: $run/log.txt)"
    if "$fuzzer" -max_total_time="$fuzz_seconds" -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="$run/crashes/" "$run/work" "${seeds[@]}" > "$run/log.txt" 2>&1; then
        tail -n 2 "$run/log.txt"
    else
        tail -n 60 "$run/log.txt"
        echo "$name failed; crash inputs in $run/crashes"
        exit 1
    fi
done

step "all tests passed"
