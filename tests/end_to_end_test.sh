#!/usr/bin/env bash
# The whole program against the real stand-in service: inside a private network namespace, where
# port 80 may be bound, on a virtual X display, driven with real X input.
set -euo pipefail
exe=$1
service=$2

source "$(dirname "$0")/x11_session.sh"
netns_enter "$0" "$@"
x11_enter_display "$0" "$@"

work=$(mktemp -d)
service_pid=
trap 'x11_cleanup; [ -n "$service_pid" ] && kill "$service_pid" 2>/dev/null; rm -rf "$work"' EXIT

service_start "$service" "$work"

mkdir "$work/home"
x11_start_app "$work/home" "$exe"
store="$work/home/url.vlst"

# create URL NOTE: replaces UrlField's and NoteEditor's texts, then presses "Erstellen".
create() {
  x11_click 200 40
  xdotool key --clearmodifiers ctrl+a
  xdotool type --delay 5 "$1"
  x11_click 380 90
  xdotool key --clearmodifiers ctrl+a
  xdotool type --delay 5 "$2"
  x11_click 160 110
}

# Waits until the store holds N records (2N separators); generous, as CI machines may be busy.
wait_for_records() {
  local _ count
  for _ in $(seq 600); do
    count=$(tr -cd '\177' <"$store" | wc -c)
    [ "$count" -ge $(($1 * 2)) ] && return 0
    sleep 0.1
  done
  echo "FAIL: the store did not reach $1 records: $(od -c "$store" | head -5)"
  exit 1
}

long1='http://example.org/suche?q=vemo&lang=de'
long2='https://example.com/a b?x=1&y=2'
create "$long1" "Notiz eins"
wait_for_records 1
content=$(cat "$store")
sep=$'\x7f'
pattern="^${sep}(http://localhost/[A-Za-z0-9]{6})${sep}Notiz eins$"
[[ $content =~ $pattern ]] || { echo "FAIL: store holds: $(od -c "$store")"; exit 1; }
link1=${BASH_REMATCH[1]}

# The service sends the short link on to the long URL, "&" and all.
exec 3<>/dev/tcp/127.0.0.1/80
printf 'GET /%s HTTP/1.0\r\n\r\n' "${link1##*/}" >&3
answer=$(cat <&3)
exec 3<&-
grep -q "^Location: ${long1}"$'\r'"\?$" <<<"$answer" || { echo "FAIL: redirect: $answer"; exit 1; }

# The same URL again stores nothing new; an invalid URL stores nothing. The events are handled in
# order, so once the last create has landed the two before it have finished too.
create "$long1" "Notiz zwei"
create "kein Link" "Notiz drei"
create "$long2" "Notiz vier"
wait_for_records 2
content=$(cat "$store")
pattern="^${sep}${link1}${sep}Notiz eins${sep}(http://localhost/[A-Za-z0-9]{6})${sep}Notiz vier$"
[[ $content =~ $pattern ]] || { echo "FAIL: store holds: $(od -c "$store")"; exit 1; }
[ "${BASH_REMATCH[1]}" != "$link1" ] || { echo "FAIL: two URLs got one link"; exit 1; }

x11_close_app
echo "end-to-end test passed"
