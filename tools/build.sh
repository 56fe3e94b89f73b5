#!/usr/bin/env bash
# Configures and builds build/ with warnings as errors (the `mingw` preset). It installs
# nothing: tools/setup.sh does, and the test and demo commands call it first.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset mingw >/dev/null
cmake --build --preset mingw
