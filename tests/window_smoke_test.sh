#!/usr/bin/env bash
# Starts the real program on a virtual X display with a window manager, checks that it creates an
# empty store before showing its window, closes it through the window manager (Alt+F4) and
# checks exit code 0 and an unchanged store.
set -euo pipefail
exe=$1

for tool in xvfb-run openbox xdotool; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "SKIP: $tool is not installed (scripts/test installs it)"
    exit 77
  fi
done

if [ -z "${VEMO_INSIDE_XVFB:-}" ]; then
  export VEMO_INSIDE_XVFB=1
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi

unset QT_QPA_PLATFORM
work=$(mktemp -d)
cleanup() {
  [ -n "${app:-}" ] && kill "$app" 2>/dev/null || true
  [ -n "${wm:-}" ] && kill "$wm" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

openbox >/dev/null 2>&1 &
wm=$!
(cd "$work" && exec "$exe") &
app=$!

window=$(timeout 30 xdotool search --sync --name '^Vemo Creator$' | head -n 1)
[ -n "$window" ] || { echo "FAIL: the window did not appear"; exit 1; }
[ -f "$work/url.vlst" ] || { echo "FAIL: url.vlst was not created"; exit 1; }
[ ! -s "$work/url.vlst" ] || { echo "FAIL: url.vlst is not empty"; exit 1; }

# Give the window manager time to frame the window, then close it the way a user does.
sleep 1
xdotool windowactivate --sync "$window" 2>/dev/null || true
xdotool key --clearmodifiers alt+F4

rc=0
for _ in $(seq 100); do
  kill -0 "$app" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$app" 2>/dev/null; then
  echo "FAIL: the program did not end after Alt+F4"
  exit 1
fi
wait "$app" || rc=$?
app=
[ "$rc" -eq 0 ] || { echo "FAIL: exit code $rc"; exit 1; }
[ ! -s "$work/url.vlst" ] || { echo "FAIL: the store changed"; exit 1; }
echo "window smoke test passed"
