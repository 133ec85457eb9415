# Runs zel-framedemo and checks what it prints.
#   cmake -DDEMO=path [-DEMULATOR=cmd] -DMODE=run -P run_demo.cmake
# MODE=run: 0.5 s at 120 fps; every line must be one the demo prints, and the
# meter's frame rate must be near the target.

function(run_demo)
  execute_process(COMMAND ${EMULATOR} ${DEMO} ${ARGN}
                  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
  string(REPLACE "\r" "" out "${out}")
  string(REPLACE "\r" "" err "${err}")
  set(out "${out}" PARENT_SCOPE)
  set(err "${err}" PARENT_SCOPE)
  set(rc "${rc}" PARENT_SCOPE)
endfunction()

function(fail message)
  message(FATAL_ERROR "${message}\n--- stdout:\n${out}\n--- stderr:\n${err}")
endfunction()

if(MODE STREQUAL "run")
  set(target_fps 120)
  run_demo(--fps ${target_fps} --duration 0.5 --history 240)
  if(NOT rc EQUAL 0 OR NOT err STREQUAL "")
    fail("exit status ${rc}, or something on stderr")
  endif()
  # Only plain lines when stdout is not a terminal: no escape sequences.
  string(ASCII 27 escape)
  if(out MATCHES "${escape}")
    fail("escape sequence in plain output")
  endif()

  set(known_line [[^(summary|\[ *[0-9.]+ s\] +([0-9.]+|n/a) fps \| frame ms: .* \| draw ms: .*|  run time: [0-9.]+ (milliseconds|seconds)|  frames: [0-9]+|  frame rate: [0-9.]+ fps|  late frames: [0-9]+ of [0-9]+ \([0-9.]+%\)|  pacing: late \(us\) p50 [0-9.]+ p99 [0-9.]+ max [0-9.]+ \| CPU [0-9.]+ ms \([0-9.]+% of [0-9.]+ s\)|  frame time \(ms\): mean [0-9.]+ p50 [0-9.]+\*? p99 [0-9.]+\*? p99\.9 [0-9.]+\*?|  (1|0\.1)% low \(fps\): [0-9.]+\*? percentile, [0-9.]+\*? low average, [0-9.]+\*? integral|  stutters: [0-9]+ \([0-9.]+% of the time\)|  jitter \(ms\): mean [0-9.]+ p99 [0-9.]+\*?|  frame times \(ms\), all [0-9]+ frames:|  +[0-9.]+ (- +[0-9.]+|\+) +\|#* +[0-9]+|  \* fewer frames than the figure needs)$]])
  string(REGEX REPLACE "\n$" "" body "${out}")
  string(REPLACE ";" "," body "${body}")
  string(REPLACE "\n" ";" lines "${body}")
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "${known_line}")
      fail("unexpected line: '${line}'")
    endif()
  endforeach()

  if(NOT out MATCHES "  frame rate: ([0-9.]+) fps")
    fail("no frame rate in the summary")
  endif()
  set(fps ${CMAKE_MATCH_1})
  # The recorder's median frame time, from the library's statistics.
  if(NOT out MATCHES "  frame time \\(ms\\): mean [0-9.]+ p50 ([0-9.]+)")
    fail("no median frame time in the summary")
  endif()
  set(p50 ${CMAKE_MATCH_1})
  if(p50 LESS 6.25 OR p50 GREATER 12.5)
    fail("median frame time ${p50} ms is not near 1000 / ${target_fps} ms")
  endif()
  if(NOT out MATCHES "\n  pacing: late \\(us\\) p50 ")
    fail("no pacing line in the summary")
  endif()
  if(NOT out MATCHES "  frames: ([0-9]+)")
    fail("no frame count in the summary")
  endif()
  set(frames ${CMAKE_MATCH_1})
  # Generous: other processes share the machine, and a frame rate far off
  # the target is a pacing fault, not noise.
  math(EXPR fps_low "${target_fps} * 2 / 3")
  math(EXPR fps_high "${target_fps} * 4 / 3")
  if(fps LESS fps_low OR fps GREATER fps_high)
    fail("frame rate ${fps} is not near ${target_fps}")
  endif()
  if(frames LESS 30 OR frames GREATER 70)
    fail("${frames} frames in 0.5 s at ${target_fps} fps")
  endif()
  message(STATUS "frame rate ${fps} fps, ${frames} frames, median frame time ${p50} ms")

else()
  message(FATAL_ERROR "unknown MODE '${MODE}'")
endif()
