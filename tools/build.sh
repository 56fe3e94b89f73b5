#!/usr/bin/env bash
# Installs what is missing, then configures and builds build/ with warnings as errors.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
cmake --preset mingw >/dev/null
cmake --build --preset mingw
