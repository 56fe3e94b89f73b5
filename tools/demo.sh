#!/usr/bin/env bash
# The main job, end to end: installs what is missing, builds, registers the logging server
# and its proxy/stub DLL in the build's private Wine prefix, runs the example client in a
# process of its own (COM starts the server for it), and prints the log files that the
# server wrote for that client, converted from UTF-16 to UTF-8.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash tools/setup.sh
bash tools/build.sh

build="$root/build"
server="$build/src/server/kvtlog.exe"
proxy="$build/proxy/kvtlogps.dll"
example="$build/examples/kvtlog_example.exe"
logs="$build/demo-logs"
for f in "$server" "$proxy" "$example"; do
  [ -f "$f" ] || { echo "demo: $f was not built" >&2; exit 1; }
done

. tools/wine.sh
kvt_wine_env "$build"
kvt_wine_start

rm -rf "$logs"
mkdir -p "$logs"
echo "registering the server, logging into $logs"
wine "$server" -RegServer /S "-LogPath:$(winepath -w "$logs")"
echo "registering the proxy/stub DLL"
wine regsvr32 /s "$(winepath -w "$proxy")"

echo "running the example client"
wine "$example"

# The log files are complete once the server has ended.
kvt_wait_for_exit kvtlog.exe || true

found=0
while IFS= read -r -d '' file; do
  found=1
  echo
  echo "== ${file#"$logs"/}"
  iconv -f UTF-16 -t UTF-8 "$file" | tr -d '\r'
done < <(find "$logs" -type f -iname '*.txt' -print0 | sort -z)
if [ "$found" = 0 ]; then
  echo "demo: no log file under $logs" >&2
  exit 1
fi
