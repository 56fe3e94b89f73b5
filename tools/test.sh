#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors, and runs every test under Wine,
# with ClangCheck (tools/clang-check.sh), the second compiler's check of the product's sources.
# Arguments go to ctest, so `tools/test.sh -R LineFormat` runs the matching tests only.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash tools/setup.sh
bash tools/build.sh

. tools/wine.sh
kvt_wine_env "$root/build"
kvt_wine_start
ctest --preset mingw --no-tests=error "$@"
