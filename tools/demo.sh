#!/usr/bin/env bash
# Installs what is needed, builds both plug-ins and renders the demo phrase
# through Tessel3-Stereo.so into a WAV file with the headless host.
#
# It builds in build/demo (the plug-ins and the headless host, no tests),
# apart from tools/test.sh's build/release: each command configures its own
# folder with every option it relies on, so either works whatever the other
# ran before it. TESSEL_JOBS caps the parallel compile jobs.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh demo

build=build/demo
jobs=()
[ -n "${TESSEL_JOBS:-}" ] && jobs=(-j "$TESSEL_JOBS")
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DTESSEL_TESTS=OFF -DTESSEL_TOOLS=ON -DTESSEL_FUZZ=OFF -DTESSEL_SANITIZE=
cmake --build "$build" "${jobs[@]}" --target Tessel3-51 Tessel3-Stereo tessel-host

host="$build/tools/host/tessel-host"
out="$PWD/build/demo.wav"
# The demo plays the instrument's default program, whatever bank or
# settings the user has installed: the render sees settings and data folders
# of its own, inside the build folder, and leaves the user's alone.
XDG_CONFIG_HOME="$PWD/$build/demo-home/config" XDG_DATA_HOME="$PWD/$build/demo-home/data" \
    "$host" render "$build/plugins/Tessel3-Stereo.so" --out "$out"
# Its length, channels and levels: the default program is audible, well
# below clipping.
"$host" wavstats "$out"
echo "Demo written to $out"
echo "Plug-ins built in $PWD/$build/plugins (tools/install.sh installs them)"
