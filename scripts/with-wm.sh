#!/usr/bin/env bash
# Runs a command on the X display in DISPLAY under a window manager
# (openbox), as the program meets it on an operator's desktop, and stops the
# manager when the command ends.
set -euo pipefail

openbox --sm-disable >/dev/null 2>&1 &
wm=$!
trap 'kill "$wm" 2>/dev/null; wait "$wm" 2>/dev/null || true' EXIT

# The manager is ready once it has announced itself on the root window.
for _ in $(seq 100); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
  kill -0 "$wm" 2>/dev/null || { echo "openbox did not start" >&2; exit 1; }
  sleep 0.1
done
xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id" || { echo "openbox is not ready" >&2; exit 1; }

"$@"
