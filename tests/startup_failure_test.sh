#!/usr/bin/env bash
# Without a reachable display the program ends at once with one clear line and a non-zero code,
# and leaves no store behind.
set -uo pipefail
exe=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

check() {
  local what=$1
  shift
  local rc=0
  env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY "$@" "$exe" 2>"$work/err" || rc=$?
  if [ "$rc" -eq 0 ]; then echo "FAIL ($what): exit code 0"; exit 1; fi
  if [ "$(wc -l <"$work/err")" -ne 1 ] || ! grep -q '^vemo-creator: cannot open the window' "$work/err"; then
    echo "FAIL ($what): stderr was:"; cat "$work/err"; exit 1
  fi
  echo "$what: exit code $rc, $(cat "$work/err")"
}

check "no DISPLAY" -u DISPLAY
check "unreachable display" DISPLAY=:97.0
[ ! -e url.vlst ] || { echo "FAIL: a store was created"; exit 1; }
echo "startup failure test passed"
