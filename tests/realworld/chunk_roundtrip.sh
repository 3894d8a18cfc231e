#!/usr/bin/env bash
# The project chunk through the headless host, as a host saves and reopens a
# song: a first render sets parameters and saves the bank chunk
# (--chunk-out); a second render of a new plug-in instance loads that chunk
# (--chunk-in) without any --param and saves the chunk again. Both chunks
# must be the same bytes, and the parameters must come back with the values
# and displays the first render gave them. A third render without the
# parameters must give another chunk, so the comparison means something.
# No notes are played: a load resets the count of sounding notes
# ("NotesOn"), which a chunk saved while notes sound would hold.
# For both plug-ins.
# $1: the build folder.
set -euo pipefail
build=${1:?usage: chunk_roundtrip.sh BUILD_FOLDER}
host="$build/tools/host/tessel-host"
[ -x "$host" ] || { echo "FAIL: $host is missing (build the tessel-host target)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# A MIDI file of one empty track.
printf 'MThd\0\0\0\6\0\0\0\1\0\140MTrk\0\0\0\4\0\377\57\0' > "$work/empty.mid"

# Host parameters of the program's global part: "Main Volume", "Osc 1
# Routing", "LFO 1 Mono" and "Filter Env-Depth", each to a value away from
# its default.
params=(--param 134=0.25 --param 108=0.5 --param 209=1 --param 124=0.75)
shown=(--show-param 134 --show-param 108 --show-param 209 --show-param 124)

for file in Tessel3-51.so Tessel3-Stereo.so; do
    plugin="$build/plugins/$file"
    [ -f "$plugin" ] || { fail "$plugin is missing"; continue; }
    before=$failures
    render() { "$host" render "$plugin" --out "$work/out.wav" --midi "$work/empty.mid" --seconds 0.25 "$@"; }
    if ! render "${params[@]}" "${shown[@]}" --chunk-out "$work/first.bin" > "$work/first.txt" 2> "$work/first.err"; then
        fail "$file: the first render failed: $(cat "$work/first.err")"
        continue
    fi
    if ! render --chunk-in "$work/first.bin" "${shown[@]}" --chunk-out "$work/second.bin" \
            > "$work/second.txt" 2> "$work/second.err"; then
        fail "$file: the render from the chunk failed: $(cat "$work/second.err")"
        continue
    fi
    if ! render --chunk-out "$work/plain.bin" > /dev/null 2> "$work/plain.err"; then
        fail "$file: the render without parameters failed: $(cat "$work/plain.err")"
        continue
    fi
    size=$(stat -c %s "$work/first.bin")
    grep -qx "chunkIn: $size bytes, effSetChunk answered $size" "$work/second.txt" \
        || fail "$file: the chunk was not taken whole: $(grep '^chunkIn' "$work/second.txt")"
    cmp -s "$work/first.bin" "$work/second.bin" \
        || fail "$file: the chunk saved after loading differs from the one loaded ($(cmp "$work/first.bin" "$work/second.bin" || true))"
    cmp -s "$work/first.bin" "$work/plain.bin" \
        && fail "$file: the parameters set left no trace in the chunk"
    grep '^param ' "$work/first.txt" > "$work/first.params"
    grep '^param ' "$work/second.txt" > "$work/second.params"
    [ "$(wc -l < "$work/first.params")" = 4 ] || fail "$file: not four parameters shown: $(cat "$work/first.params")"
    grep -q '^param 124: value=0.75 ' "$work/first.params" || fail "$file: Filter Env-Depth did not take 0.75: $(cat "$work/first.params")"
    diff -u "$work/first.params" "$work/second.params" > "$work/params.diff" \
        || fail "$file: parameters changed through the chunk: $(cat "$work/params.diff")"
    [ $failures = $before ] && echo "ok: $file: $size-byte chunk saved, loaded and saved again unchanged; 4 parameters kept"
done
[ $failures = 0 ]
