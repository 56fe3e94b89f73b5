#!/usr/bin/env bash
# Installs what building and testing need, from Debian's packages only, when it is missing.
# The one script that installs packages: the others call it.
# With the argument `bench` it also installs what only the benchmarks compile.
set -euo pipefail

packages=(
  g++-mingw-w64-x86-64-posix   # the cross compiler, posix thread model
  mingw-w64-tools              # widl
  wine64 wine libwine-dev      # the runtime the tests use, and the standard IDL files
  cmake ninja-build googletest
  clang jq                     # the second compiler's check (tools/clang-check.sh)
  rsyslog                      # the collector of the forwarding tests, run privately by them
)
case "${1:-}" in
  '') ;;
  bench) packages+=(libspdlog-dev libfmt-dev) ;; # the benchmarks' comparison, header-only
  *) echo "usage: setup.sh [bench]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
