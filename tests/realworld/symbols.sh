#!/usr/bin/env bash
# Each plug-in exports exactly one dynamic symbol, VSTPluginMain, so that two
# builds loaded into one host process never share anything else.
# $1: the build folder.
set -euo pipefail
build=${1:?usage: symbols.sh BUILD_FOLDER}
status=0
for plugin in "$build/plugins/Tessel3-51.so" "$build/plugins/Tessel3-Stereo.so"; do
    if [ ! -f "$plugin" ]; then
        echo "FAIL: $plugin is missing" >&2
        status=1
        continue
    fi
    symbols=$(nm -D --defined-only "$plugin" | awk '{print $NF}' | sort)
    if [ "$symbols" != "VSTPluginMain" ]; then
        echo "FAIL: $plugin must export exactly VSTPluginMain; it exports:" >&2
        printf '%s\n' "${symbols:-(nothing)}" | sed 's/^/    /' >&2
        status=1
    else
        echo "ok: $plugin exports only VSTPluginMain"
    fi
done
exit $status
