#!/usr/bin/env bash
# Compiles every product source file of a built tree a second time, with Debian's clang for
# the same Windows target, syntax only, with warnings as errors. The product must build with
# MSVC as well; a second compiler finds what GCC alone lets through (its extensions, its
# headers' leniency), and clang reads the same MinGW-w64 and libstdc++ headers as the build.
#
# The files and their flags come from <build>/compile_commands.json, so the check follows
# the CMake targets: it takes every file the build compiles from the source tree except the
# tests (tests/), and none of the files generated into the build tree. Headers are checked
# through the files that include them; the client library's headers (include/kvtlog/), which
# a client program may include first, also on their own, with the example client's flags.
# It needs the build's generated headers (the interface header <build>/idl/kvtlog.h, the
# proxy's <build>/proxy/kvtlog_p.c): run it after a build.
# `tools/test.sh` runs it as the ctest test ClangCheck.
# Argument: the build directory (build/ unless given).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd -P)
build=$(realpath "${1:-$root/build}")
commands="$build/compile_commands.json"
target=x86_64-w64-mingw32

# clang 14 cannot compile std::source_location from libstdc++ 12: libstdc++ declares it only
# for a compiler that has __builtin_source_location, which clang has from version 15 on. The
# client header (include/kvtlog/client.h) takes every message's file, line and function with
# it, so a clang without that builtin does not check these files, the ones that include the
# client header; GCC still compiles them with warnings as errors. The client header is then
# not checked on its own either; the headers it includes are.
client_header_users=(
  examples/kvtlog_example.cpp
  tools/kvtlogctl/main.cpp
  bench/bench_message.cpp
  bench/channel_caller.cpp
  bench/channel_memory.cpp
  bench/channel_throughput.cpp
  bench/client_process.cpp
  bench/cross_process.cpp
  bench/main.cpp
)

fail() { echo "clang-check: $*" >&2; exit 1; }
[ -f "$commands" ] || fail "$commands is missing: configure with CMAKE_EXPORT_COMPILE_COMMANDS (cmake --preset mingw)"

# The list names only files that include the client header, so that it excuses nothing else.
for f in "${client_header_users[@]}"; do
  grep -q '#include [<"]kvtlog/client\.h[>"]' "$root/$f" 2>/dev/null ||
    fail "$f is listed as including kvtlog/client.h, and does not"
done
skipped=()
if ! printf '#if !__has_builtin(__builtin_source_location)\n#error\n#endif\n' |
     clang++ --target=$target -fsyntax-only -x c++ - 2>/dev/null; then
  skipped=("${client_header_users[@]}" include/kvtlog/client.h)
fi

# The files to check, relative to the source tree: the build's, and the client headers.
mapfile -t files < <(jq -r --arg root "$root/" --arg build "$build/" '.[].file
    | select(startswith($root) and (startswith($build) | not))
    | ltrimstr($root) | select(startswith("tests/") | not)' "$commands" | sort -u)
client_example=examples/kvtlog_example.cpp
[[ " ${files[*]} " == *" $client_example "* ]] || fail "$client_example is not built in $build"
for header in "$root"/include/kvtlog/*.h; do
  files+=("${header#"$root"/}")
done
checked=()
for f in "${files[@]}"; do
  [[ " ${skipped[*]} " == *" $f "* ]] || checked+=("$f")
done

# clang takes its C++ library and Windows headers where the build's compilers find them (for
# MinGW-w64 it would look in the wrong places by itself), and its own built-in headers in
# place of GCC's. Printed by the compiler itself: a GCC's own directories are its include and
# include-fixed, everything else it searches is the library's and the target's.
system_includes() {
  local compiler=$1 language=$2 own own_fixed dir
  own=$(realpath -m "$("$compiler" -print-file-name=include)")
  own_fixed=$(realpath -m "$("$compiler" -print-file-name=include-fixed)")
  "$compiler" -x "$language" -E -v /dev/null 2>&1 |
    sed -n '/#include <...> search starts here:/,/End of search list/p' | sed '1d;$d' |
    while read -r dir; do
      dir=$(realpath -m "$dir")
      [ "$dir" = "$own" ] || [ "$dir" = "$own_fixed" ] || printf -- '-isystem %s ' "$dir"
    done
}
compiler_of() { # the compiler of the first file of the given extension, or null
  jq -r --arg ext "$1" '[.[] | select(.file | endswith($ext))][0].command | split(" ")[0]' "$commands"
}
cxx=$(compiler_of .cpp)
cxx_includes=$(system_includes "$cxx" c++)
cc=$(compiler_of .c)
c_includes=$([ "$cc" = null ] || system_includes "$cc" c)

# Checks one file with the flags the build compiles it with (its definitions, include
# directories and language standard). A client header is checked with the example client's
# flags, through a file on clang's input that includes only that header; for any other file
# clang ignores its input. Paths hold no blanks here, as the build's do.
check_one() {
  local file=$1 source=$1 words flags=() i
  if [[ $file == *.h ]]; then
    source=$client_example
  fi
  read -ra words < <(jq -r --arg file "$root/$source" \
      '[.[] | select(.file == $file)][0].command' "$commands")
  for ((i = 1; i < ${#words[@]}; i++)); do
    case "${words[i]}" in
      -o) ((++i)) ;;
      -c | "$root/$source") ;;
      *) flags+=("${words[i]}") ;;
    esac
  done
  local driver=clang++ includes=$cxx_includes input=$root/$file
  if [[ $file == *.c ]]; then
    driver=clang includes=$c_includes
  elif [[ $file == *.h ]]; then
    input="-x c++ -"
  fi
  # shellcheck disable=SC2086 # the include flags and the input are words without blanks
  printf '#include "%s"\n' "$root/$file" |
    $driver --target=$target -nostdlibinc $includes -fsyntax-only -Wall -Wextra -Werror \
            "${flags[@]}" $input || { echo "clang-check: $file failed" >&2; return 1; }
}
export root commands target cxx_includes c_includes client_example
export -f check_one

echo "clang $(clang -dumpversion): checking ${#checked[@]} files"
for f in "${skipped[@]}"; do
  if [[ " ${files[*]} " == *" $f "* ]]; then
    echo "not checked, this clang has no std::source_location: $f"
  fi
done
# Every file is checked, two at a time, so that one run shows every failure.
printf '%s\0' "${checked[@]}" | xargs -0 -n1 -P2 bash -c 'check_one "$1"' _ ||
  fail "failed"
echo "clang-check: ${#checked[@]} files passed"
