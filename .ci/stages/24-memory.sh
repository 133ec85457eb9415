#!/usr/bin/env bash
# Memory: every test executable except the allocation counter under
# valgrind memcheck (no error and no leaked block of any kind allowed).
# Reuses the Release build of 'make check' in build/.
set -euo pipefail
cd "$(dirname "$0")/../.."
source .ci/lib.sh
ensure_packages cmake make g++ libgtest-dev valgrind libsqlite3-dev libpq-dev

start=$SECONDS
log=$(mktemp)
if ! make build >"$log" 2>&1; then
  cat "$log"
  exit 1
fi
rm -f "$log"

errors=0
leaked=0
tests=0
executables=0
for exe in build/tests/zel*_tests; do
  # These replace the global operator new to count allocations, which valgrind
  # replaces in turn, so their counts would be valgrind's and not the tests'.
  case $(basename "$exe") in zeltimers_allocation_tests | zelimgui_tests) continue ;; esac
  log=build/tests/$(basename "$exe").valgrind.log
  status=0
  valgrind --log-file="$log" --error-exitcode=99 --leak-check=full --show-leak-kinds=all \
    --errors-for-leak-kinds=all "$exe" >"$log.out" 2>&1 || status=$?
  found=$(sed -n 's/.*ERROR SUMMARY: \([0-9]*\) errors.*/\1/p' "$log" | tail -n 1)
  lost=$(sed -n 's/.*in use at exit: \([0-9,]*\) bytes.*/\1/p' "$log" | tail -n 1 | tr -d ,)
  errors=$((errors + ${found:-0}))
  leaked=$((leaked + ${lost:-0}))
  if [ "$status" -ne 0 ] || [ "${found:-x}" != 0 ] || [ "${lost:-x}" != 0 ]; then
    cat "$log" "$log.out"
    echo "memory: $(basename "$exe") under valgrind: exit $status, ${found:-?} errors, ${lost:-?} bytes in use at exit"
    exit 1
  fi
  passed=$(sed -n 's/.*\[  PASSED  \] \([0-9]*\) tests\{0,1\}\..*/\1/p' "$log.out")
  tests=$((tests + passed))
  executables=$((executables + 1))
done

echo "memory: valgrind $executables executables, $tests tests, $errors errors, $leaked bytes" \
  "leaked ($((SECONDS - start)) s)"
