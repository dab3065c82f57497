#!/usr/bin/env bash
# One short session of the real program under valgrind's memcheck, against the real stand-in
# service: start, a create, a left click on the new entry, its deletion, close. Fails on any
# invalid memory access, any use of undefined bytes and any definite leak that the suppressions
# for third-party libraries (valgrind.supp) do not cover, that is one allocated by our own code.
#
#   valgrind_session_test.sh EXE SERVICE SUPPRESSIONS
set -euo pipefail
exe=$1
service=$2
suppressions=$3

if ! command -v valgrind >/dev/null 2>&1; then
  echo "SKIP: valgrind is not installed (scripts/test installs it)"
  exit 77
fi
source "$(dirname "$0")/x11_session.sh"
netns_enter "$0" "$@"
x11_enter_display "$0" "$@"

work=$(mktemp -d)
log=$work/memcheck.log
service_pid=
# Shows what memcheck found, whichever check failed.
finish() {
  local rc=$?
  if [ "$rc" -ne 0 ] && [ -s "$log" ]; then
    grep -E -A 40 '^==[0-9]+== +(Invalid|Conditional|Use of|Syscall param|Mismatched|[0-9,]+ bytes in [0-9,]+ blocks are definitely)' \
      "$log" | head -300 || true
    grep -E 'ERROR SUMMARY|definitely lost' "$log" || true
  fi
  x11_cleanup
  [ -n "$service_pid" ] && kill "$service_pid" 2>/dev/null
  rm -rf "$work"
  return "$rc"
}
trap finish EXIT

service_start "$service" "$work"

{
  echo '#!/bin/sh'
  echo "exec valgrind --tool=memcheck --error-exitcode=99 --leak-check=full \\"
  echo "  --show-leak-kinds=definite --errors-for-leak-kinds=definite --num-callers=40 \\"
  echo "  --suppressions='$suppressions' --log-file='$log' \"\$@\""
} >"$work/memcheck"
chmod +x "$work/memcheck"
export VEMO_E2E_WRAPPER=$work/memcheck
# Memcheck runs the program many times slower, and its leak search at exit takes a while.
export VEMO_E2E_WAIT=180

mkdir "$work/home"
x11_start_app "$work/home" "$exe"
store="$work/home/url.vlst"

# wait_for_separators N: until the store holds exactly N separator bytes.
wait_for_separators() {
  local _
  for _ in $(seq 600); do
    [ "$(tr -cd '\177' <"$store" | wc -c)" -eq "$1" ] && return 0
    sleep 0.1
  done
  echo "FAIL: the store did not reach $1 separators: $(od -c "$store" | head -5)"
  exit 1
}

x11_click 200 40
xdotool type --delay 20 'http://example.org/suche?q=vemo&lang=de'
x11_click 380 90
xdotool type --delay 20 'Notiz'
x11_click 160 110
wait_for_separators 2

# Row 1 of the tree, the new entry's link (row 0 is the header); then the bin button.
x11_click 80 221
x11_click 526 176
wait_for_separators 0
[ ! -s "$store" ] || { echo "FAIL: the store is not empty after the deletion"; exit 1; }

# Exit code 99 is memcheck's: an error or a definite leak of our own.
x11_close_app
grep -q 'ERROR SUMMARY: 0 errors' "$log" || { echo "FAIL: memcheck reported errors"; exit 1; }
echo "valgrind session test passed"
