#!/usr/bin/env bash
# Runs the benchmark suite: builds kvtbench with the server and its proxy/stub DLL,
# registers both in the build's private Wine prefix, runs every benchmark, prints the table
# and writes <build>/bench/results.csv. Arguments go to kvtbench (-quick, -only:13c).
# The build directory is build/ unless KVT_BUILD_DIR names another; it is configured with the
# `bench` preset, the test build's with the benchmarks added.
#
# spdlog and fmt, the comparison, come from Debian's packages (tools/setup.sh bench installs
# them): the benchmark compiles them in header-only, and nothing else of the project uses them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=$(realpath -m "${KVT_BUILD_DIR:-$root/build}")

bash tools/setup.sh bench
cmake --preset bench -B "$build" >/dev/null
cmake --build "$build" --target kvtbench kvtlog kvtlogps

. tools/wine.sh
kvt_wine_env "$build"
kvt_wine_start

server=$(winepath -w "$build/src/server/kvtlog.exe")
proxy=$(winepath -w "$build/proxy/kvtlogps.dll")
logs="$build/bench/logs"
rm -rf "$logs"
mkdir -p "$logs"

# The forwarding benchmark's collector: a private rsyslog on 127.0.0.1 that discards what
# it receives.
collector="$build/bench/collector"
unregister() {
  bash tests/collector/collector.sh stop "$collector" || true
  wine "$server" -UnregServer /S </dev/null >/dev/null 2>&1 || true
  wine regsvr32 /u /s "$proxy" </dev/null >/dev/null 2>&1 || true
  kvt_wine_stop
}
trap unregister EXIT
wine "$server" -RegServer /S "-LogPath:$(winepath -w "$logs")" </dev/null
wine regsvr32 /s "$proxy" </dev/null
bash tests/collector/collector.sh start "$collector" /dev/null >/dev/null

# The suite takes a few minutes; a hang (a client process or the server stuck) ends the run
# after 15 minutes instead of holding the machine.
cpu=$(grep -m1 '^model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')
timeout 900 wine "$build/bench/kvtbench.exe" "-csv:$(winepath -w "$build/bench/results.csv")" \
     "-cpus:$(nproc)" "-cpu:${cpu:-unknown}" "-collector:$(cat "$collector/port")" "$@" </dev/null
echo "written: $build/bench/results.csv"
