#!/usr/bin/env bash
# Static checks over every C++ file in the repository: formatting against
# .clang-format, clang-tidy with .clang-tidy, and cppcheck with the
# suppressions in .ci/cppcheck-suppressions.txt. Any finding fails the stage.
set -euo pipefail
cd "$(dirname "$0")/../.."
source .ci/lib.sh
ensure_packages cmake make clang clang-format clang-tidy cppcheck libgtest-dev libbenchmark-dev \
  libglfw3-dev git libsqlite3-dev libpq-dev

start=$SECONDS
mapfile -t files < <(git ls-files '*.cpp' '*.h')

clang-format --dry-run -Werror "${files[@]}"

# clang-tidy reads the compile commands of a configured (not built) tree,
# with the fuzz harnesses and benchmarks switched on so that they are checked too.
build=build-tidy
mkdir -p "$build"
cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DZELTIMERS_BUILD_FUZZERS=ON \
  -DZELTIMERS_BUILD_BENCHMARKS=ON \
  -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >"$build/configure.log" 2>&1 ||
  { cat "$build/configure.log"; exit 1; }
units=$(grep -c '"file":' "$build/compile_commands.json")
# Every unit of this checkout outside the build folders.
here=$(printf '%s' "$PWD" | sed 's/[][\.*^$+?(){}|]/\\&/g')
if ! run-clang-tidy -quiet -j "$(jobs)" -p "$build" "^$here/(?!build)" >"$build/tidy.log" 2>&1; then
  sed 's/\x1b\[[0-9;]*m//g' "$build/tidy.log" | grep -E 'warning:|error:' || cat "$build/tidy.log"
  echo "clang-tidy: findings above"
  exit 1
fi

cppcheck -q --std=c++17 --language=c++ --enable=warning,style,performance,portability \
  --library=googletest --inline-suppr --suppressions-list=.ci/cppcheck-suppressions.txt \
  --error-exitcode=1 -I include -I src "${files[@]}"

echo "static: ${#files[@]} files clang-format clean, clang-tidy clean over $units" \
  "translation units, cppcheck clean ($((SECONDS - start)) s)"
