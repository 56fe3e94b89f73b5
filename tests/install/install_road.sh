#!/usr/bin/env bash
# The road of a new user, in the build's private Wine prefix: installs the build into a
# temporary prefix (and moves it, as the tree must work wherever it lands), checks that the
# release archive holds the same files, asks kvtlogctl before registering and between the
# two registrations, registers the server and the proxy/stub DLL from the tree, builds the
# README's client project (its blocks that name a file) with find_package(kvtlog) against
# the tree and the build's toolchain, runs it and finds its line in the log file, then
# unregisters and checks that no key of the registration is left.
# Arguments: the build directory, the project's version, the toolchain file, windres.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$1 version=$2 toolchain=$3 windres=$4
. "$root/tools/wine.sh"
kvt_wine_env "$build"

work=$build/install-road
tree=$work/kvtlog logs=$work/logs client=$work/myapp
rm -rf "$work"
mkdir -p "$work" "$logs" "$client"
fail() { echo "install road: $*" >&2; exit 1; }
expect() { # the text, what it must hold, what it is
  [[ $1 == *"$2"* ]] || fail "$3 does not say \"$2\": $1"
}

# A Wine program's output goes through a file: a server that COM starts for it inherits its
# streams, and one still running must not hold a pipe of this script open.
run() { # a Windows program and its arguments; prints its output, returns its exit code
  local rc=0
  timeout 120 wine "$@" >"$work/output.txt" 2>&1 </dev/null || rc=$?
  tr -d '\r' <"$work/output.txt"
  return $rc
}

echo "== install tree"
# Stripping writes the time into each program's header: the install tree and the archive
# get the same time, so that they compare byte for byte.
export SOURCE_DATE_EPOCH=$(date +%s)
cmake --install "$build" --prefix "$work/installed" --strip >/dev/null
mv "$work/installed" "$tree"
(cd "$tree" && find . -type f | sort)

cpack -G ZIP --config "$build/CPackConfig.cmake" -B "$work/package" >/dev/null
archive=$work/package/kvtlog-$version-win64.zip
mkdir "$work/unpacked"
(cd "$work/unpacked" && cmake -E tar xf "$archive")
diff -r "$work/unpacked/kvtlog-$version-win64" "$tree" || fail "the archive differs from the install tree"

expect "$(run "$tree/bin/kvtlogctl.exe" --version)" "kvtlogctl $version" "kvtlogctl --version"
for program in kvtlog.exe kvtlogps.dll kvtlogctl.exe; do
  expect "$("$windres" -i "$tree/bin/$program" -J coff -O rc)" "VALUE \"FileVersion\", \"$version\"" "$program's version resource"
done

winlogs=$(winepath -w "$logs")
server=$(winepath -w "$tree/bin/kvtlog.exe")
proxy=$(winepath -w "$tree/bin/kvtlogps.dll")
status() { run "$tree/bin/kvtlogctl.exe" status || true; }
status_says() { # what kvtlogctl status must say, when
  local out
  out=$(status)
  echo "$out"
  expect "$out" "$1" "kvtlogctl status $2"
}
hkcr() { # HKEY_CLASSES_ROOT as text
  run regedit /E "$(winepath -w "$work/hkcr.reg")" HKEY_CLASSES_ROOT
  iconv -f UTF-16 -t UTF-8 "$work/hkcr.reg"
}

unregister() {
  run "$tree/bin/kvtlog.exe" -UnregServer /S
  run regsvr32 /s /u "$proxy"
}
# A failed run leaves no registration behind for the tests that follow.
trap 'unregister >/dev/null 2>&1 || true' EXIT

echo "== registering"
status_says "register it with kvtlog.exe -RegServer" "before registering"
run "$tree/bin/kvtlog.exe" -RegServer /S "-LogPath:$winlogs"
status_says "register it with regsvr32 kvtlogps.dll" "without the proxy/stub DLL"
# That activation failed, so no client holds the server it started. Windows releases the
# object whose marshaling failed, and the server stops. Wine at times keeps it, and the server
# then waits like one that no client ever activated: a new Wine session ends it.
kvt_wait_for_exit kvtlog.exe || { echo "the server kept waiting: a new Wine session"; kvt_wine_restart; }
run regsvr32 /s "$proxy"
status_says "log directory: $winlogs" "once registered"
registry=$(hkcr)
expect "$registry" "KVT.Logging" "the registry"
expect "${registry//\\\\/\\}" "$proxy" "the registry"

echo "== client project"
awk -v dir="$client" '
  /^```[a-z]+ [^ ]+$/ { file = dir "/" $2; printf "" > file; next }
  /^```/ { file = "" }
  file != "" { print > file }' "$root/README.md"
[ -f "$client/CMakeLists.txt" ] && [ -f "$client/main.cpp" ] || fail "the README has no client project"
cmake -S "$client" -B "$client/build" -G Ninja --toolchain "$toolchain" -DCMAKE_PREFIX_PATH="$tree" >/dev/null
cmake --build "$client/build" >/dev/null
run "$client/build/myapp.exe"
kvt_wait_for_exit kvtlog.exe || fail "the server did not end"
file=$logs/CA7/MyApp-1.0.0.0.TXT
[ -f "$file" ] || fail "$file is missing"
iconv -f UTF-16 -t UTF-8 "$file" | tr -d '\r' | grep "hello from myapp" || fail "no line of myapp in $file"

echo "== unregistering"
unregister
registry=$(hkcr)
for left in KVT.Logging "$server" "$proxy" ILogService; do
  [[ ${registry//\\\\/\\} != *"$left"* ]] || fail "the registry still holds $left"
done
status_says "register it with kvtlog.exe -RegServer" "after unregistering"
echo "install road: done"
