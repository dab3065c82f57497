# Sourced by the end-to-end scripts: the real program on a virtual X display with a window manager,
# in a private network namespace with the stand-in service.
# shellcheck shell=bash

# Re-runs the calling script inside xvfb-run unless it already runs there.
x11_enter_display() {
  local tool
  for tool in xvfb-run openbox xdotool; do
    if ! command -v "$tool" >/dev/null 2>&1; then
      echo "SKIP: $tool is not installed (scripts/test installs it)"
      exit 77
    fi
  done
  if [ -z "${VEMO_INSIDE_XVFB:-}" ]; then
    export VEMO_INSIDE_XVFB=1
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$@"
  fi
  unset QT_QPA_PLATFORM
}

# x11_start_app DIR EXE: starts the window manager and EXE in DIR; sets app_pid and app_window.
# VEMO_E2E_WRAPPER, when set, names a program that is started instead, with EXE as its argument
# (valgrind, say); VEMO_E2E_WAIT bounds in seconds the wait for the window and for the program's
# end after Alt+F4, which such a wrapper slows down (default 30 and 10).
x11_start_app() {
  openbox >/dev/null 2>&1 &
  wm_pid=$!
  (cd "$1" && exec ${VEMO_E2E_WRAPPER:+"$VEMO_E2E_WRAPPER"} "$2") &
  app_pid=$!
  app_window=$(timeout "${VEMO_E2E_WAIT:-30}" xdotool search --sync --name '^Vemo Creator$' | head -n 1)
  [ -n "$app_window" ] || { echo "FAIL: the window did not appear"; exit 1; }
  # Give the window manager time to frame and focus the window.
  sleep 1
  xdotool windowactivate --sync "$app_window" 2>/dev/null || true
}

# x11_click X Y: a left click at client-area coordinates of the window.
x11_click() {
  xdotool mousemove --window "$app_window" "$1" "$2" click 1
}

# Closes the window with Alt+F4 and checks that the program ends with exit code 0.
x11_close_app() {
  xdotool windowactivate --sync "$app_window" 2>/dev/null || true
  xdotool key --clearmodifiers alt+F4
  local _
  for _ in $(seq $((${VEMO_E2E_WAIT:-10} * 10))); do
    kill -0 "$app_pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$app_pid" 2>/dev/null; then
    echo "FAIL: the program did not end after Alt+F4"
    exit 1
  fi
  local rc=0
  wait "$app_pid" || rc=$?
  app_pid=
  [ "$rc" -eq 0 ] || { echo "FAIL: exit code $rc"; exit 1; }
}

x11_cleanup() {
  [ -n "${app_pid:-}" ] && kill "$app_pid" 2>/dev/null
  [ -n "${wm_pid:-}" ] && kill "$wm_pid" 2>/dev/null
  return 0
}

# Re-runs the calling script in a private network namespace, where port 80 may be bound, with its
# loopback link up. Skips where no namespace can be made, except on CI, where that is an error.
netns_enter() {
  if [ -z "${VEMO_E2E_NETNS:-}" ]; then
    if ! unshare -rn true 2>/dev/null; then
      echo "cannot create a private network namespace ('unshare -rn' failed)"
      if [ "${CI:-}" = true ]; then echo "FAIL: on CI this test must run"; exit 1; fi
      echo "SKIP"
      exit 77
    fi
    export VEMO_E2E_NETNS=1
    exec unshare -rn "$@"
  fi
  if [ -z "${VEMO_INSIDE_XVFB:-}" ]; then ip link set lo up; fi
}

# service_start SERVICE DIR: the stand-in service on 127.0.0.1:80 with its database in DIR; sets
# service_pid once it listens.
service_start() {
  "$1" --listen 127.0.0.1:80 --host localhost --db "$2/links.db" 2>"$2/service.log" &
  service_pid=$!
  local _
  for _ in $(seq 300); do
    (exec 3<>/dev/tcp/127.0.0.1/80) 2>/dev/null && return 0
    sleep 0.1
  done
  echo "FAIL: the service does not listen"
  cat "$2/service.log"
  exit 1
}
