# Runs zel-framestats as a user would and checks what it prints.
#   cmake -DTOOL=path [-DEMULATOR=cmd] -DCAPTURES=dir -DWORK=dir -P run_framestats.cmake
# A PresentMon capture and a demo-style ZelTimers capture (written here: 200
# frames of 16666667 ns with a 50 ms hitch at frame 100) through --json and
# --svg; the table's layouts; text that is not valid UTF-8; then bad command
# lines and files, each of which must exit with status 2 (1 for a picture
# or output that cannot be written), print nothing on stdout and one line on
# stderr.

function(run)
  execute_process(COMMAND ${EMULATOR} ${TOOL} ${ARGN}
                  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
  foreach(var out err rc)
    set(${var} "${${var}}" PARENT_SCOPE)
  endforeach()
endfunction()

function(fail what)
  message(FATAL_ERROR "${what}\n--- stdout:\n${out}\n--- stderr:\n${err}")
endfunction()

file(MAKE_DIRECTORY ${WORK})
set(demo ${WORK}/demo.csv)
set(text "zeltimers_capture,application\n1,zel-framedemo\ntime_ns,interval_ns,draw_ns\n")
foreach(i RANGE 1 200)
  set(ns 16666667)
  if(i EQUAL 100)
    set(ns 50000000)
  endif()
  math(EXPR time "${i} * 16666667")
  string(APPEND text "${time},${ns},400000\n")
endforeach()
file(WRITE ${demo} "${text}")

set(csgo ${CAPTURES}/presentmon1-csgo.csv)
run(--json ${csgo} ${demo} --svg ${WORK}/frames.svg)
if(NOT (rc EQUAL 0 AND "${err}" STREQUAL ""))
  fail("--json: exit status ${rc}")
endif()
string(JSON files LENGTH "${out}" files)
string(JSON application GET "${out}" files 0 application)
string(JSON frames GET "${out}" files 0 frames)
string(JSON fps GET "${out}" files 0 average_fps)
string(JSON few GET "${out}" files 0 few_frames 0)
string(JSON flagged LENGTH "${out}" files 0 few_frames)
# 300 frames: p99.9 and the three 0.1 % lows are flagged.
if(NOT (files EQUAL 2 AND application STREQUAL "csgo.exe" AND frames EQUAL 300
        AND fps GREATER 118 AND fps LESS 119 AND few STREQUAL "p99_9_ms" AND flagged EQUAL 4))
  fail("csgo: ${files} files, ${application}, ${frames} frames, ${fps} fps, flagged ${flagged}")
endif()
string(JSON p50 GET "${out}" files 1 p50_ms)
string(JSON stutters GET "${out}" files 1 stutters)
string(JSON integral GET "${out}" files 1 low_1_integral_fps)
string(JSON buckets LENGTH "${out}" files 1 histogram)
if(NOT (p50 STREQUAL "16.666667" AND stutters EQUAL 1 AND integral EQUAL 20
        AND buckets EQUAL 401))
  fail("demo: p50 ${p50}, ${stutters} stutters, 1% low ${integral}, ${buckets} buckets")
endif()
file(READ ${WORK}/frames.svg svg)
if(NOT (svg MATCHES "^<svg .*presentmon1-csgo.csv: 300 frames.*demo.csv: 200 frames"))
  fail("the SVG names both files")
endif()

# A figure with too few frames is starred, one with enough is not.
run(${csgo})
if(NOT (rc EQUAL 0 AND out MATCHES "\n1% low, integral \\(fps\\) +[0-9]+\\.[0-9]\n"
        AND out MATCHES "\np99\\.9 \\(ms\\) +[0-9.]+\\*\n" AND out MATCHES "\np99 \\(ms\\) +[0-9.]+\n"))
  fail("table: exit status ${rc}")
endif()

# Thirty files: one row per file, in lines of at most 100 characters.
set(thirty "")
foreach(i RANGE 1 30)
  list(APPEND thirty ${demo})
endforeach()
run(${thirty})
string(FIND "${out}" "\n\n" figures)  # after the key of paths
string(SUBSTRING "${out}" ${figures} -1 table)
string(REPLACE "\n" ";" lines "${table}")
foreach(line IN LISTS lines)
  string(LENGTH "${line}" length)
  if(length GREATER 100)
    fail("thirty files: a line of ${length} characters")
  endif()
endforeach()
if(NOT (rc EQUAL 0 AND table MATCHES "\n30 +200 +3\\.367 "))
  fail("thirty files: exit status ${rc}")
endif()

# Text as the file has it, control characters and bytes that are not UTF-8,
# comes out as valid XML and JSON; 99 % of frames of 0 ns make a rate of
# 1000 / 0, which JSON writes as null.
string(ASCII 1 127 255 bad)
set(text "zeltimers_capture,application\n1,a${bad}b\ntime_ns,interval_ns,draw_ns\n")
foreach(i RANGE 1 990)
  string(APPEND text "0,0,\n")
endforeach()
foreach(i RANGE 1 10)
  string(APPEND text "${i}000000,1000000,\n")
endforeach()
file(WRITE ${WORK}/bad-text.csv "${text}")
run(--json --svg=${WORK}/bad-text.svg ${WORK}/bad-text.csv)
string(JSON low TYPE "${out}" files 0 low_1_percentile_fps)
file(READ ${WORK}/bad-text.svg svg)
set(json "${out}")
run(${WORK}/bad-text.csv)  # the table too
string(ASCII 239 191 189 replacement)
foreach(byte 1 127 255)
  string(ASCII ${byte} char)
  string(FIND "${json}${out}${svg}" "${char}" at)
  if(NOT at EQUAL -1)
    fail("byte ${byte} passed through")
  endif()
endforeach()
if(NOT (rc EQUAL 0 AND low STREQUAL "NULL" AND svg MATCHES "a${replacement}${replacement}${replacement}b"))
  fail("bad text: exit status ${rc}, 1% low ${low}")
endif()

# A picture that cannot be written stops the run before anything is printed.
run(--svg ${WORK}/no-such-folder/x.svg ${csgo})
if(NOT (rc EQUAL 1 AND "${out}" STREQUAL "" AND err MATCHES "^zel-framestats: [^\n]+\n$"))
  fail("unwritable --svg: want status 1, empty stdout, one line on stderr; got ${rc}")
endif()

# A read error (Linux's /proc/self/mem at its start) and output that cannot
# be written are the machine's faults: status 1.
if(EXISTS /proc/self/mem AND NOT EMULATOR)
  run(/proc/self/mem)
  if(NOT (rc EQUAL 1 AND "${out}" STREQUAL "" AND err MATCHES "^zel-framestats: [^\n]+\n$"))
    fail("a read error: want status 1, empty stdout, one line on stderr; got ${rc}")
  endif()
endif()
# (Wine lets a Windows program's writes to /dev/full succeed.)
if(EXISTS /dev/full AND NOT TOOL MATCHES "\\.exe$")
  execute_process(COMMAND ${EMULATOR} ${TOOL} ${csgo} OUTPUT_FILE /dev/full ERROR_VARIABLE err
                  RESULT_VARIABLE rc)
  if(NOT (rc EQUAL 1 AND err MATCHES "^zel-framestats: [^\n]+\n$"))
    fail("output to /dev/full: want status 1 and one line on stderr; got ${rc}")
  endif()
endif()

file(WRITE ${WORK}/one-frame.csv
     "zeltimers_capture,application\n1,x\ntime_ns,interval_ns,draw_ns\n5,5,\n")
foreach(args "" "--bogus;${csgo}" "--svg" "${CAPTURES}/SOURCES.md" "${CAPTURES}" "${WORK}/missing.csv"
        "${WORK}/one-frame.csv" "--fleet" "--db;x.db;--fleet;${csgo}" "--summary;x.json;${csgo};${demo}"
        "--tag;build;${csgo}" "--tag;a=b;${csgo}")
  run(${args})
  string(REGEX REPLACE "\n$" "" message "${err}")
  if(NOT (rc EQUAL 2 AND "${out}" STREQUAL "" AND message MATCHES "^zel-framestats: [^\n]+$"))
    fail("'${args}': want status 2, empty stdout, one line on stderr; got ${rc}")
  endif()
endforeach()

if(NOT FLEET)
  return()
endif()
# A capture and its summary file are one session; the fleet is what the
# database computes over the sessions stored, or over those with a tag.
set(db ${WORK}/fleet.db)
file(REMOVE ${db})
run(--summary ${WORK}/demo.json ${demo})
run(--db ${db} --tag build=1 ${WORK}/demo.json ${csgo})
set(first "${out}")
run(--db ${db} ${demo} ${WORK}/one-frame.csv)
set(bad "${rc} ${err}")
run(--db ${db} ${demo})
if(NOT (first STREQUAL "stored 2 sessions, 0 stored before\n" AND out STREQUAL
        "stored 0 sessions, 1 stored before\n" AND bad MATCHES "^2 zel-framestats: [^\n]*one-frame"))
  fail("--db: '${first}', then '${bad}'")
endif()
run(--db ${db} --fleet --json)
string(JSON sessions GET "${out}" fleet sessions)
string(JSON frames GET "${out}" fleet frames)
string(JSON stutters GET "${out}" fleet stutters)
run(--db ${db} --fleet --json --tag application=zel-framedemo)
string(JSON p50 GET "${out}" fleet p50_ms)
string(JSON tagged GET "${out}" fleet frames)
if(NOT (sessions EQUAL 2 AND frames EQUAL 500 AND stutters EQUAL 1 AND tagged EQUAL 200
        AND p50 GREATER 16.62 AND p50 LESS 16.72))
  fail("--fleet: ${sessions} sessions, ${frames} frames, ${stutters} stutters; tagged ${tagged}, p50 ${p50}")
endif()
