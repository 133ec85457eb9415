#!/usr/bin/env bash
# The windowed example beside an outside frame-time tool: builds zel-glfwdemo
# against GLFW and Mesa's software OpenGL and runs it at 60 fps in a virtual
# X server under MangoHud, which logs every frame while the demo writes its
# own capture and a screenshot. Checks that the demo exits cleanly near
# 60 fps, that the screenshot shows its frame-time graph in the top left
# corner and nowhere else, and that MangoHud's frame intervals agree with the
# meter's (tests/capture_agreement.cpp).
set -euo pipefail
cd "$(dirname "$0")/../.."
source .ci/lib.sh

ensure_packages cmake g++ make libgtest-dev libglfw3-dev libgl1-mesa-dri xvfb xauth mangohud

start=$SECONDS
build=${BUILD:-build}
# Reconfigure: GLFW may have been installed only now, after `make check`.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --parallel "$(jobs)" --target zel-glfwdemo zeltimers_capture_agreement \
  >/dev/null
demo=$build/examples/glfw/zel-glfwdemo
[ -x "$demo" ] || { echo "zel-glfwdemo was not built"; exit 1; }

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

# The graph's colours, cyan (0,230,255) frame times and an amber (255,190,0)
# target line, are ones that neither the scene nor the box has: both must be
# in the overlay's corner only, the target line on one line width of rows.
{ read -r magic; read -r width height; read -r depth; } <"$out/shot.ppm"
header=$((${#magic} + ${#width} + ${#height} + ${#depth} + 4))
read -r cyan amber outside rows < <(tail -c +$((header + 1)) "$out/shot.ppm" |
  od -An -v -tu1 -w3 | awk -v w="$width" '
    { x = (NR - 1) % w; y = int((NR - 1) / w); corner = x < 260 && y < 100 }
    $1 == 0 && $2 == 230 && $3 == 255 { if (corner) cyan++; else outside++ }
    $1 == 255 && $2 == 190 && $3 == 0 { if (corner) { amber++; row[y] = 1 } else outside++ }
    END { n = 0; for (y in row) n++; print cyan + 0, amber + 0, outside + 0, n }')
if [ "$magic" != P6 ] || [ "$cyan" -lt 200 ] || [ "$amber" -lt 100 ] || [ "$outside" -ne 0 ] ||
  [ "$rows" -gt 2 ]; then
  echo "screenshot $out/shot.ppm (${width}x$height $magic): $cyan cyan and $amber amber pixels" \
    "in the corner, amber on $rows rows, $outside outside: not the overlay graph"
  exit 1
fi

logs=("$out"/zel-glfwdemo_*[0-9].csv)
if [ ! -f "${logs[0]}" ]; then
  echo "MangoHud wrote no log in $out"
  exit 1
fi
agreement=$("$build/tests/zeltimers_capture_agreement" "${logs[0]}" "$out/zel.csv") || {
  printf '%s\n' "$agreement"
  exit 1
}
printf '%s\n' "$agreement"

figures=$(sed 's/^agreement: \(.*\): agree$/\1/' <<<"$agreement")
echo "glfw: zel-glfwdemo at $fps fps under Xvfb and MangoHud, overlay graph in its screenshot;" \
  "MangoHud agrees: $figures ($((SECONDS - start)) s)"
