#!/usr/bin/env bash
# The ABI of libZelTimers_v3.0.so.3 against the one recorded in
# packaging/abi/libZelTimers_v3.0.abi (abidw's description of the types,
# members, vtables and sizes the library exports).
#   packaging/abi/check.sh [BUILD_DIR]           check; exit 1 on a break
#   packaging/abi/check.sh --update [BUILD_DIR]  record the current ABI
# A change passes only when all it does is add: removed or changed functions,
# a moved member, a new size or a reordered vtable fail. An addition passes
# the comparison but must be recorded in the same commit: in the baseline
# (--update) and in debian/libzeltimers-v3.0-3.symbols, which must list
# exactly what the library exports.
# The baseline is made with g++ 12 on Debian 12, as CI builds it; the build
# folder's name does not matter.
set -euo pipefail
cd "$(dirname "$0")/../.."
update=0
if [ "${1:-}" = --update ]; then
  update=1
  shift
fi
build=$(realpath -m "${1:-build-abi}")
baseline=packaging/abi/libZelTimers_v3.0.abi
symbols=debian/libzeltimers-v3.0-3.symbols

# With debug information, which abidw reads the types from. The source and
# build folders' paths are mapped to fixed names, so that the debug
# information, and with it abidw's output, is the same wherever they are.
mkdir -p "$build"
if ! { cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  "-DCMAKE_CXX_FLAGS=-ffile-prefix-map=$PWD=. -ffile-prefix-map=$build=build" -DZELTIMERS_BUILD_TESTS=OFF \
  -DZELTIMERS_BUILD_EXAMPLES=OFF -DZELTIMERS_BUILD_TOOLS=OFF -DZELTIMERS_INSTALL=OFF &&
  cmake --build "$build" --target ZelTimers --parallel 2; } >"$build/abi-build.log" 2>&1; then
  cat "$build/abi-build.log"
  echo "abi: the library did not build"
  exit 1
fi
library=$build/src/libZelTimers_v3.0.so.3

# Only what the public headers declare, without source locations.
current=$build/libZelTimers_v3.0.abi
abidw --no-show-locs --no-corpus-path --no-comp-dir-path --type-id-style hash \
  --headers-dir include --drop-private-types --out-file "$current" "$library"

if [ $update = 1 ]; then
  cp "$current" "$baseline"
  echo "abi: recorded $baseline"
  exit 0
fi

# abidiff's status is a bit field: 1 error, 2 usage error, 4 the ABIs differ,
# 8 incompatibly (a symbol removed, a vtable slot moved). Bit 4 alone covers
# both additions and changed types, so additions are left out of the report
# and whatever it still lists is a change.
report=$build/abidiff.txt
status=0
abidiff --no-added-syms "$baseline" "$current" >"$report" 2>&1 || status=$?
if [ $((status & 3)) -ne 0 ]; then
  cat "$report"
  echo "abi: abidiff failed (status $status)"
  exit 1
fi
if [ $((status & 12)) -ne 0 ]; then
  cat "$report"
  echo "abi: libZelTimers_v3.0.so.3 changed other than by additions (abidiff status $status)"
  exit 1
fi

# The exported names, three ways: the library's, the baseline's and the
# symbols file's (demangled, as the symbols file writes them).
exports=$(nm -D --defined-only "$library" | awk '$2 != "A" {print $3}' | c++filt | LC_ALL=C sort -u)
recorded=$(sed -n "s/.*<elf-symbol name='\([^']*\)'.*/\1/p" "$baseline" | c++filt | LC_ALL=C sort -u)
listed=$(sed -n 's/^ (c++)"\(.*\)@Base" .*/\1/p' "$symbols" | LC_ALL=C sort -u)
verdict=0
if [ "$exports" != "$recorded" ]; then
  diff <(echo "$recorded") <(echo "$exports") | sed -n 's/^> /  added: /p; s/^< /  gone: /p' || true
  echo "abi: the library exports other names than $baseline records (packaging/abi/check.sh --update)"
  verdict=1
fi
if [ "$exports" != "$listed" ]; then
  version=$(debian/set-version)
  diff <(echo "$listed") <(echo "$exports") |
    sed -n "s/^> \(.*\)/  not listed, add: (c++)\"\1@Base\" $version/p; s/^< /  not exported: /p" || true
  echo "abi: $symbols does not list exactly what the library exports"
  verdict=1
fi
[ $verdict = 0 ] || exit 1
echo "abi: libZelTimers_v3.0.so.3 matches $baseline ($(echo "$exports" | wc -l) names, as $symbols lists them)"
