#!/usr/bin/env bash
# Runs the load test, then restarts the Wine session: the test ends the server by force, and
# a killed COM server leaves a stale class registration behind in Wine that would break
# every later activation in the same session.
# Arguments: the build directory, the test executable.
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/tools/wine.sh"
kvt_wine_env "$1"
"$1/wine-run" "$2" --gtest_filter='LoadTest.*'
rc=$?
kvt_wine_restart
exit $rc
