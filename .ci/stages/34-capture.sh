#!/usr/bin/env bash
# zel-capture against programs nobody here wrote, in a virtual X server with
# Mesa's software OpenGL and Vulkan (llvmpipe, lavapipe):
#  - glxgears (GLX, linked): its own frame counts, printed every 5 s, fall
#    5 s apart in the capture too; stopped with SIGINT, which the hook
#    finishes the capture at;
#  - es2gears_x11 (EGL, linked) for 3 s: a capture of over 2 s;
#  - vkcube --c 300 and --c 60 (Vulkan, through the implicit layer), run by
#    a shell script: a capture for each process;
#  - zel-glfwdemo --capture (GLX found with dlsym) under MangoHud logging
#    every frame: the hook's capture has the demo's frames and agrees with
#    its own capture and with MangoHud's log (tests/capture_agreement.cpp);
#  - glxgears killed with SIGKILL after 3 s: at least 2 s of frames remain;
# and the hook's unit tests. Everything started here is stopped on exit.
set -euo pipefail
cd "$(dirname "$0")/../.."
source .ci/lib.sh

ensure_packages cmake g++ make pkg-config libgtest-dev libglfw3-dev libimgui-dev libgl1-mesa-dri \
  libvulkan-dev mesa-utils mesa-utils-extra vulkan-tools mesa-vulkan-drivers xvfb xauth mangohud

start=$SECONDS
build=${BUILD:-build}
# Reconfigure: the Vulkan headers and GLFW may have been installed only now.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --parallel "$(jobs)" --target zel-capture zel_capture zel-framestats \
  zel-glfwdemo zeltimers_capture_agreement zelcapture_tests >/dev/null
capture=$build/tools/capture/zel-capture
stats=$build/tools/framestats/zel-framestats
agreement=$build/tests/zeltimers_capture_agreement
[ -f "$build/tools/capture/vulkan/implicit_layer.d/VkLayer_zeltimers_capture.json" ] || {
  echo "the Vulkan layer was not built"
  exit 1
}
unit=$("$build/tests/zelcapture_tests" 2>&1) || {
  printf '%s\n' "$unit"
  echo "the capture hook's unit tests failed"
  exit 1
}

out=$(cd "$build" && pwd)/capture-run
rm -rf "$out"
mkdir -p "$out"
pids=()
stop_all() {
  local pid
  for pid in "${pids[@]}"; do
    kill -9 "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
}
trap stop_all EXIT

# One X server for every run.
Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3>"$out/display" >"$out/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
  [ -s "$out/display" ] && break
  sleep 0.1
done
[ -s "$out/display" ] || { echo "Xvfb did not start: $(cat "$out/xvfb.log")"; exit 1; }
export DISPLAY=":$(head -n 1 "$out/display")"
export LIBGL_ALWAYS_SOFTWARE=1
unset ZEL_CAPTURE DISABLE_ZEL_CAPTURE MANGOHUD MANGOHUD_CONFIG VK_INSTANCE_LAYERS

# The one capture in a folder; fails unless there is exactly one.
only() {
  local files=("$1"/*.csv)
  if [ "${#files[@]}" -ne 1 ] || [ ! -f "${files[0]}" ]; then
    echo "expected one capture in $1, found: ${files[*]}" >&2
    return 1
  fi
  printf '%s\n' "${files[0]}"
}
# A figure of zel-framestats' table: frames, duration (s), ...
figure() { "$stats" "$1" | awk -v name="$2" 'index($0, name) == 1 { print $NF; exit }'; }

# glxgears prints "N frames in 5.0 seconds" each time 5 s have passed since
# the frame of its previous line: swaps N1 and N1+N2 are 5 s apart in the
# capture too, unless presents were missed or counted twice.
status=0
timeout -s INT 11.5 "$capture" --output "$out/gears/" -- glxgears >"$out/gears.txt" 2>&1 ||
  status=$?
[ "$status" -eq 124 ] || { cat "$out/gears.txt"; echo "glxgears ended with $status"; exit 1; }
gears=$(only "$out/gears")
read -r n1 n2 < <(awk '/frames in/ { n[++k] = $1 } END { print n[1] + 0, n[2] + 0 }' "$out/gears.txt")
frames=$(figure "$gears" frames)
apart=$(awk -F, -v a="$n1" -v b="$((n1 + n2))" \
  'NR > 3 && NR - 3 == a - 1 { ta = $1 } NR > 3 && NR - 3 == b - 1 { tb = $1 }
   END { printf "%.4f", (tb - ta) / 1e9 }' "$gears")
if [ "$n2" -eq 0 ] || [ "$frames" -lt $((n1 + n2 - 1)) ] ||
  ! awk -v s="$apart" 'BEGIN { exit !(s >= 4.95 && s <= 5.1) }'; then
  cat "$out/gears.txt"
  echo "glxgears drew $n1 + $n2 frames in two 5 s spans; the capture has $frames frames, those" \
    "spans ${apart} s apart"
  exit 1
fi

# es2gears_x11 presents with eglSwapBuffers.
status=0
timeout -s INT 3.5 "$capture" --output "$out/egl/" -- es2gears_x11 >"$out/egl.txt" 2>&1 ||
  status=$?
[ "$status" -eq 124 ] || { cat "$out/egl.txt"; echo "es2gears_x11 ended with $status"; exit 1; }
egl=$(only "$out/egl")
egl_seconds=$(figure "$egl" "duration (s)")
awk -v s="$egl_seconds" 'BEGIN { exit !(s >= 2.0) }' ||
  { echo "es2gears_x11 for 3.5 s: a capture of ${egl_seconds} s"; exit 1; }

# vkcube, twice from a launch script whose children inherit the hook: a
# capture each, its first present starting it and each later one a frame.
timeout 120 "$capture" --format presentmon --output "$out/cube/" -- \
  sh -c 'vkcube --c 300 && vkcube --c 60' >"$out/cube.txt" 2>&1 ||
  { cat "$out/cube.txt"; echo "vkcube failed"; exit 1; }
read -r short long < <(for file in "$out"/cube/vkcube_*.csv; do figure "$file" frames; done |
  sort -n | xargs)
if [ "$(find "$out/cube" -name '*.csv' | wc -l)" -ne 2 ] || [ "${short:-0}" -lt 59 ] ||
  [ "${short:-0}" -gt 60 ] || [ "${long:-0}" -lt 299 ] || [ "${long:-0}" -gt 300 ]; then
  cat "$out/cube.txt"
  echo "vkcube --c 60 and --c 300 from a script: captures of ${short:-no} and ${long:-no} frames"
  exit 1
fi

# zel-glfwdemo under zel-capture and MangoHud at once, MangoHud logging
# every frame for 2 s. zel-capture goes inside, so that its hook comes
# first and MangoHud's after it.
status=0
MANGOHUD_CONFIG=output_folder=$out,autostart_log=1,log_interval=0,log_duration=2,no_display \
  timeout 60 mangohud --dlsym "$capture" --output "$out/demo/" -- \
  "$build/examples/glfw/zel-glfwdemo" 3.5 --fps 60 --capture "$out/own.csv" --format zel \
  >"$out/demo.txt" 2>&1 || status=$?
if [ "$status" -ne 0 ]; then
  grep -v -e '\[MANGOHUD\]' -e glxinfo "$out/demo.txt" || true
  echo "zel-glfwdemo under zel-capture and MangoHud exited with status $status"
  exit 1
fi
hooked=$(only "$out/demo")
hooked_frames=$(figure "$hooked" frames)
own_frames=$(figure "$out/own.csv" frames)
# GLFW swaps once as it creates the window, before the demo's loop and its
# recorder start: the hook sees that present too.
if [ "$hooked_frames" -ne $((own_frames + 1)) ]; then
  echo "zel-glfwdemo recorded $own_frames frames after its first swap, the hook $hooked_frames" \
    "after GLFW's first"
  exit 1
fi
own=$("$agreement" "$hooked" "$out/own.csv") || { printf '%s\n' "$own"; exit 1; }
logs=("$out"/zel-glfwdemo_*[0-9].csv)
[ -f "${logs[0]}" ] || { echo "MangoHud wrote no log in $out"; exit 1; }
mango=$("$agreement" "${logs[0]}" "$hooked") || { printf '%s\n' "$mango"; exit 1; }

# SIGKILL after 3 s: the writing thread has flushed all but the last
# quarter second.
"$capture" --format mangohud --output "$out/killed/" -- glxgears >"$out/killed.txt" 2>&1 &
pids+=($!)
sleep 3
kill -9 "${pids[-1]}"
wait "${pids[-1]}" 2>/dev/null || true
killed=$(only "$out/killed")
kept=$(figure "$killed" "duration (s)")
if ! awk -v s="$kept" 'BEGIN { exit !(s >= 2.0) }'; then
  echo "glxgears killed after 3 s left ${kept} s of frames in $killed"
  exit 1
fi

echo "capture: unit tests pass; glxgears $frames frames (its 5 s spans ${apart} s apart)," \
  "es2gears_x11 ${egl_seconds} s, vkcube $long and $short frames, zel-glfwdemo $hooked_frames frames, its own capture:" \
  "${own#agreement: }, MangoHud: ${mango#agreement: }; SIGKILL after 3 s kept ${kept} s" \
  "($((SECONDS - start)) s)"
