#!/usr/bin/env bash
# The collector of the forwarding tests: rsyslog in the foreground with a private
# configuration, work directory and PID file, receiving on 127.0.0.1 only, at a port of the
# system's choice (written to DIR/port), and writing each message as one JSON line to
# DIR/messages.json (or to the file OUTPUT: /dev/null for the benchmarks). The system's own
# syslog is never touched.
#
# `start DIR [OUTPUT]` returns once it listens; `stop DIR` ends it by its PID. In between, a
# watcher (its PID in DIR/watcher) carries out what a test puts in DIR/request, written whole
# by a rename: end (rsyslog), start (it again, on the same port), stop or cont (SIGSTOP,
# SIGCONT). It answers with the same word in DIR/answer once done. The watcher ends with `stop`, or after an hour,
# ending rsyslog with it, so that a run that never stops it leaves nothing behind for long.
set -euo pipefail
dir=$2
output=${3:-$dir/messages.json}

# Starts rsyslogd on the port (0: any) and returns once it listens.
launch() {
  rm -f "$dir/port"
  # Messages up to 256 KiB whole (the default cuts at 8096 bytes); control characters kept
  # as sent (by default a line break arrives as #012); the structured data parsed.
  cat >"$dir/rsyslog.conf" <<CONF
global(workDirectory="$dir" maxMessageSize="256k" parser.escapeControlCharactersOnReceive="off")
module(load="imtcp")
module(load="mmpstrucdata")
input(type="imtcp" address="127.0.0.1" port="$1" listenPortFileName="$dir/port" ruleset="kvtlog")
template(name="json" type="list") { property(name="\$!all-json") constant(value="\n") }
ruleset(name="kvtlog") {
  action(type="mmpstrucdata")
  set \$!host = \$hostname; set \$!app = \$app-name; set \$!procid = \$procid; set \$!msgid = \$msgid;
  set \$!pri = \$pri; set \$!version = \$protocol-version; set \$!msg = \$msg;
  action(type="omfile" file="$output" template="json")
}
CONF
  rsyslogd -n -f "$dir/rsyslog.conf" -i "$dir/rsyslogd.pid" </dev/null >>"$dir/rsyslogd.log" 2>&1 &
  local pid=$!
  echo "$pid" >"$dir/pid"
  for _ in $(seq 100); do
    # rsyslog writes no port file for a port it was given: a connection shows that it listens.
    if [ "$1" != 0 ] && (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; then
      echo "$1" >"$dir/port"
    fi
    [ -s "$dir/port" ] && return 0
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill "$pid" 2>/dev/null || true
  echo "rsyslogd did not start listening:" >&2
  cat "$dir/rsyslogd.log" >&2
  return 1
}

# True while the process runs: gone or a zombie is not running.
running() {
  [ -r "/proc/$1/stat" ] && [ "$(cut -d' ' -f3 "/proc/$1/stat" 2>/dev/null)" != Z ]
}

# Ends the process by its PID, continued first should it be stopped: asked, forced after 5 s.
end() {
  kill -CONT "$1" 2>/dev/null || return 0
  kill "$1" 2>/dev/null || return 0
  for _ in $(seq 50); do
    running "$1" || return 0
    sleep 0.1
  done
  kill -9 "$1" 2>/dev/null || true
}

watch() {
  set +e  # a request that fails is answered all the same
  while [ -s "$dir/pid" ] && [ "$SECONDS" -lt 3600 ]; do
    if [ -s "$dir/request" ]; then
      word=$(cat "$dir/request")
      rm -f "$dir/request"
      case "$word" in
        end) end "$(cat "$dir/pid")" ;;
        start) launch "$(cat "$dir/port")" ;;
        stop) kill -STOP "$(cat "$dir/pid")" ;;
        cont) kill -CONT "$(cat "$dir/pid")" ;;
      esac
      echo "$word" >"$dir/answer.new"
      mv "$dir/answer.new" "$dir/answer"
    fi
    sleep 0.05
  done
  [ -s "$dir/pid" ] && end "$(cat "$dir/pid")"
}

case "$1" in
start)
  # One collector per directory: one that a run left behind is ended first.
  [ -d "$dir" ] && bash "$0" stop "$dir"
  rm -rf "$dir"
  mkdir -p "$dir"
  launch 0
  watch </dev/null >/dev/null 2>&1 &
  echo $! >"$dir/watcher"
  echo "rsyslogd $(cat "$dir/pid") listens on 127.0.0.1:$(cat "$dir/port")"
  ;;
stop)
  if [ -s "$dir/watcher" ]; then kill "$(cat "$dir/watcher")" 2>/dev/null || true; fi
  if [ -s "$dir/pid" ]; then end "$(cat "$dir/pid")"; fi
  rm -f "$dir/pid" "$dir/watcher"
  ;;
*)
  echo "usage: collector.sh start DIR [OUTPUT] | stop DIR" >&2
  exit 2
  ;;
esac
