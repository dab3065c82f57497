#!/usr/bin/env bash
# Starts the real program on a virtual X display, checks that it creates an empty store before
# showing its window, closes it through the window manager (Alt+F4) and checks exit code 0 and an
# unchanged store.
set -euo pipefail
exe=$1
source "$(dirname "$0")/x11_session.sh"
x11_enter_display "$0" "$@"

work=$(mktemp -d)
trap 'x11_cleanup; rm -rf "$work"' EXIT

x11_start_app "$work" "$exe"
[ -f "$work/url.vlst" ] || { echo "FAIL: url.vlst was not created"; exit 1; }
[ ! -s "$work/url.vlst" ] || { echo "FAIL: url.vlst is not empty"; exit 1; }
x11_close_app
[ ! -s "$work/url.vlst" ] || { echo "FAIL: the store changed"; exit 1; }
echo "window smoke test passed"
