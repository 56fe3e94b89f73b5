#!/usr/bin/env bash
# The collector of the forwarding tests: rsyslog in the foreground with a private
# configuration, work directory and PID file, receiving on 127.0.0.1 only, at a port of the
# system's choice (written to DIR/port), and writing each message as one JSON line to
# DIR/messages.json (or to the file OUTPUT: /dev/null for the benchmarks). `start DIR
# [OUTPUT]` returns once it listens; `stop DIR` ends it by its PID.
# The system's own syslog is never touched.
set -euo pipefail
dir=$2
output=${3:-$dir/messages.json}

case "$1" in
start)
  # One collector per directory: one that a run left behind is ended first.
  [ -d "$dir" ] && bash "$0" stop "$dir"
  rm -rf "$dir"
  mkdir -p "$dir"
  # Messages up to 256 KiB whole (the default cuts at 8096 bytes); control characters kept
  # as sent (by default a line break arrives as #012); the structured data parsed.
  cat >"$dir/rsyslog.conf" <<CONF
global(workDirectory="$dir" maxMessageSize="256k" parser.escapeControlCharactersOnReceive="off")
module(load="imtcp")
module(load="mmpstrucdata")
input(type="imtcp" address="127.0.0.1" port="0" listenPortFileName="$dir/port" ruleset="kvtlog")
template(name="json" type="list") { property(name="\$!all-json") constant(value="\n") }
ruleset(name="kvtlog") {
  action(type="mmpstrucdata")
  set \$!host = \$hostname; set \$!app = \$app-name; set \$!procid = \$procid; set \$!msgid = \$msgid;
  set \$!pri = \$pri; set \$!version = \$protocol-version; set \$!msg = \$msg;
  action(type="omfile" file="$output" template="json")
}
CONF
  rsyslogd -n -f "$dir/rsyslog.conf" -i "$dir/rsyslogd.pid" </dev/null >"$dir/rsyslogd.log" 2>&1 &
  pid=$!
  echo "$pid" >"$dir/pid"
  for _ in $(seq 100); do
    [ -s "$dir/port" ] && { echo "rsyslogd $pid listens on 127.0.0.1:$(cat "$dir/port")"; exit 0; }
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill "$pid" 2>/dev/null || true
  echo "rsyslogd did not start listening:" >&2
  cat "$dir/rsyslogd.log" >&2
  exit 1
  ;;
stop)
  [ -s "$dir/pid" ] || exit 0
  pid=$(cat "$dir/pid")
  kill "$pid" 2>/dev/null || exit 0
  for _ in $(seq 50); do
    kill -0 "$pid" 2>/dev/null || exit 0
    sleep 0.1
  done
  kill -9 "$pid" 2>/dev/null || true
  ;;
*)
  echo "usage: collector.sh start DIR [OUTPUT] | stop DIR" >&2
  exit 2
  ;;
esac
