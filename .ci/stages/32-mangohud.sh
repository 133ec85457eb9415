#!/usr/bin/env bash
# The windowed example beside an outside frame-time tool: builds zel-glfwdemo
# against GLFW and Mesa's software OpenGL and runs it at 60 fps in a virtual
# X server under MangoHud, which logs every frame while the demo writes its
# own capture and a screenshot. Checks the ImGui frame panel's tests, that
# the demo exits cleanly near 60 fps, that the screenshot shows the panel in
# the top left corner and nowhere else, and that MangoHud's frame intervals
# agree with the meter's (tests/capture_agreement.cpp).
set -euo pipefail
cd "$(dirname "$0")/../.."
source .ci/lib.sh

ensure_packages cmake g++ make pkg-config libgtest-dev libglfw3-dev libimgui-dev libgl1-mesa-dri \
  xvfb xauth mangohud

start=$SECONDS
build=${BUILD:-build}
# Reconfigure: GLFW and Dear ImGui may have been installed only now, after
# `make check`.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --parallel "$(jobs)" \
  --target zel-glfwdemo zeltimers_capture_agreement zelimgui_tests >/dev/null
demo=$build/examples/glfw/zel-glfwdemo
[ -x "$demo" ] || { echo "zel-glfwdemo was not built"; exit 1; }
panel_tests=$("$build/tests/zelimgui_tests" 2>&1) || {
  printf '%s\n' "$panel_tests"
  echo "the ImGui frame panel's tests failed"
  exit 1
}

# One run, and a second if the first disagrees: a busy moment of the
# machine's can shift one run's swaps against MangoHud's timing of them.
for attempt in 1 2; do
  # 3.5 s of frames; MangoHud logs the first 2 s of them and has written its
  # log (with a _summary.csv beside it) before the demo exits.
  out=$(cd "$build" && pwd)/glfw-run
  rm -rf "$out"
  mkdir -p "$out"
  status=0
  MANGOHUD_CONFIG=output_folder=$out,autostart_log=1,log_interval=0,log_duration=2,no_display \
    LIBGL_ALWAYS_SOFTWARE=1 timeout 60 xvfb-run -a -s "-screen 0 640x480x24" \
    mangohud --dlsym "$demo" 3.5 --fps 60 --capture "$out/zel.csv" --format zel \
    --screenshot "$out/shot.ppm" >"$out/output.txt" 2>&1 || status=$?
  # The demo's lines, without MangoHud's messages (it also calls for glxinfo).
  grep -v -e '\[MANGOHUD\]' -e 'glxinfo' "$out/output.txt" || true
  if [ "$status" -ne 0 ]; then
    echo "zel-glfwdemo exited with status $status (MangoHud's messages: $out/output.txt)"
    exit 1
  fi

  # Paced at 60 fps: never faster, while a busy machine may drop frames.
  fps=$(sed -n 's/^frame rate: \([0-9.]*\) fps$/\1/p' "$out/output.txt")
  if [ -z "$fps" ] || ! awk -v fps="$fps" 'BEGIN { exit !(fps >= 20 && fps <= 62) }'; then
    echo "zel-glfwdemo reported ${fps:-no} fps, not about 60"
    exit 1
  fi

  # The panel's own colours, which neither the scene nor the window behind it
  # has: its graph's opaque fill (16,20,28), the frame-time trace (64,220,120)
  # and the white headline (255,255,255). All three must be in the panel's
  # corner (the top left 360x260 pixels at 640x480), the fill and the trace
  # nowhere else.
  { read -r magic; read -r width height; read -r depth; } <"$out/shot.ppm"
  header=$((${#magic} + ${#width} + ${#height} + ${#depth} + 4))
  read -r fill trace white outside < <(tail -c +$((header + 1)) "$out/shot.ppm" |
    od -An -v -tu1 -w3 | awk -v w="$width" '
      { x = (NR - 1) % w; y = int((NR - 1) / w); corner = x < 360 && y < 260 }
      $1 == 16 && $2 == 20 && $3 == 28 { if (corner) fill++; else outside++ }
      $1 == 64 && $2 == 220 && $3 == 120 { if (corner) trace++; else outside++ }
      $1 == 255 && $2 == 255 && $3 == 255 && corner { white++ }
      END { print fill + 0, trace + 0, white + 0, outside + 0 }')
  if [ "$magic" != P6 ] || [ "$fill" -lt 10000 ] || [ "$trace" -lt 100 ] || [ "$white" -lt 500 ] ||
    [ "$outside" -ne 0 ]; then
    echo "screenshot $out/shot.ppm (${width}x$height $magic): $fill fill, $trace trace and $white" \
      "white pixels in the corner, $outside fill or trace outside: not the frame panel"
    exit 1
  fi

  logs=("$out"/zel-glfwdemo_*[0-9].csv)
  if [ ! -f "${logs[0]}" ]; then
    echo "MangoHud wrote no log in $out"
    exit 1
  fi
  agreement=$("$build/tests/zeltimers_capture_agreement" "${logs[0]}" "$out/zel.csv") && break
  printf '%s\n' "$agreement"
  [ "$attempt" = 1 ] || exit 1
  echo "the run disagreed with MangoHud: once more"
done
printf '%s\n' "$agreement"

figures=$(sed 's/^agreement: \(.*\): agree$/\1/' <<<"$agreement")
echo "glfw: panel tests pass; zel-glfwdemo at $fps fps under Xvfb and MangoHud, frame panel in" \
  "its screenshot;" \
  "MangoHud agrees: $figures ($((SECONDS - start)) s)"
