#!/usr/bin/env bash
# Runs a command on the current X display (xvfb-run) with openbox managing its windows,
# and tells it so through ZORVANE_WINDOW_MANAGER. Without openbox the command runs alone
# and the tests that need a window manager skip themselves.
set -euo pipefail
if ! command -v openbox >/dev/null 2>&1; then
    exec "$@"
fi
openbox --sm-disable >/dev/null 2>&1 &
wm=$!
trap 'kill "$wm" 2>/dev/null || true' EXIT
# Ready once it names itself on the root window.
for _ in $(seq 1 100); do
    if xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; then
        break
    fi
    sleep 0.05
done
ZORVANE_WINDOW_MANAGER=openbox "$@"
