#!/usr/bin/env bash
# Installs the Debian packages the project needs. Idempotent; run as root on
# Debian 12.
#   tools/setup.sh         everything: build, tests, fuzzers, real-world checks
#   tools/setup.sh demo    only what building the plug-ins and the headless
#                          host needs (the demo command)
set -euo pipefail

packages=(
    # build of the plug-ins and the headless host
    build-essential cmake ninja-build ccache pkg-config git
    libsndfile1-dev                     # the headless host's WAV files
    libcairo2-dev libxcb1-dev fonts-dejavu-core  # the editor: drawing, window, its font
    fonts-dejavu-extra                  # the condensed face of the editor's value texts
    libx11-dev                          # the headless host: the host side of the display
)
if [ "${1:-}" != demo ]; then
    packages+=(
        clang libclang-rt-14-dev        # libFuzzer and clang sanitizer runtimes
        libgtest-dev libgmock-dev libbenchmark-dev
        # runtime helpers; a German locale proves numbers in text ignore the locale
        zenity xvfb locales
        # real-world checks: a host's VST scanner and third-party VST2 plug-ins
        ardour dpf-plugins-vst
        # sample file checks: sox makes AIFF/AIFC fixtures, alsa-utils installs real WAVs
        sox alsa-utils
        # SoundFont import: a real General MIDI SoundFont to import and play
        timgm6mb-soundfont
    )
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
    SUDO=""
    if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update
    $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi

[ "${1:-}" = demo ] && exit 0

# Tests switch to a comma-decimal locale to prove that parsing and printing
# do not depend on it.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
    SUDO=""
    if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi
    $SUDO sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
    $SUDO locale-gen
fi
