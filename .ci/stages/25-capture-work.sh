#!/usr/bin/env bash
# Capture reading stays linear on hostile files: callgrind counts the
# instructions of the fast reader (tests/capture_work.cpp) on PresentMon
# files with a quote that never closes, of N and 2N rows, and on a file
# whose last row is bad beside a good one. Twice the rows may cost at most
# 2.2 times the work (a reader that looks through an open row again per
# block costs far more), and the bad row at most 1.5 times the good file's.
# Reuses the Release build of 'make check' in build/.
set -euo pipefail
cd "$(dirname "$0")/../.."
source .ci/lib.sh
ensure_packages cmake make g++ libgtest-dev valgrind

start=$SECONDS
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! { cmake -S . -B build -DCMAKE_BUILD_TYPE=Release &&
       cmake --build build -j "$(jobs)" --target zelanalysis_capture_work; } >"$log" 2>&1; then
  cat "$log"
  exit 1
fi

rows=20000
# Instructions inside the reader for one file, on the calling thread
# (`work`) or on it and the threads it starts (`all_work`: each one's
# whole life is inside start_thread). The calling thread looks through a
# row left open; a started thread meanwhile parses its own part as far as
# scheduling lets it before the error stops it, so the open quote is
# counted on the calling thread. A good or bad file is parsed whole by
# whichever thread takes each part, so it is counted on all of them, with
# valgrind's fair scheduler taking them in turns.
work() {
  valgrind --tool=callgrind --callgrind-out-file=/dev/null \
    "--toggle-collect=zel_analysis::scan::ReadFrameTimes*" "${@:3}" \
    build/tests/zelanalysis_capture_work "$1" "$2" >"$log" 2>&1 || true
  sed -n 's/.*Collected : *\([0-9]*\).*/\1/p' "$log"
}
all_work() { work "$1" "$2" --fair-sched=yes --toggle-collect=start_thread; }
quote=$(work quote $rows)
quote2=$(work quote $((rows * 2)))
good=$(all_work good $rows)
bad=$(all_work bad $rows)
for n in "$quote" "$quote2" "$good" "$bad"; do
  if [ -z "$n" ] || [ "$n" -eq 0 ]; then
    cat "$log"
    echo "capture-work: callgrind counted nothing"
    exit 1
  fi
done
verdict=$(awk -v q="$quote" -v q2="$quote2" -v g="$good" -v b="$bad" 'BEGIN {
  printf "open quote, 2x rows: %.2fx the work; bad last row: %.2fx a good file\n", q2 / q, b / g
  exit !(q2 / q <= 2.2 && b / g <= 1.5) }') && ok=1 || ok=0
echo "capture-work: $verdict ($((SECONDS - start)) s)"
[ "$ok" = 1 ]
