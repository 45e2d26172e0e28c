#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Builds Corvix and starts it. Without a serial port on this PC it starts with a simulated
# device (--demo); without a display it runs under a virtual X server.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset debug
cmake --build --preset debug --target corvix corvix-cli corvix-devsim
args=("$@")
if [ ${#args[@]} -eq 0 ]; then
    # Real ports are the tty entries backed by a device; none means no hardware to talk to.
    if ! ls /dev/serial/by-id/* >/dev/null 2>&1; then
        args=(--demo)
    fi
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: running under Xvfb (screen :99)."
    exec xvfb-run -a -s "-screen 0 1280x800x24" build/corvix "${args[@]}"
fi
exec build/corvix "${args[@]}"
