#!/usr/bin/env bash
# The windowed example: builds zel-glfwdemo against GLFW and Mesa's software
# OpenGL, runs it for a moment in a virtual X server, and checks that it
# exits cleanly having measured a positive frame rate.
set -euo pipefail
cd "$(dirname "$0")/../.."
source .ci/lib.sh

ensure_packages cmake g++ make libgtest-dev libglfw3-dev libgl1-mesa-dri xvfb xauth

build=${BUILD:-build}
# Reconfigure: GLFW may have been installed only now, after `make check`.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --parallel "$(jobs)" --target zel-glfwdemo >/dev/null
demo=$build/examples/glfw/zel-glfwdemo
[ -x "$demo" ] || { echo "zel-glfwdemo was not built"; exit 1; }

status=0
output=$(LIBGL_ALWAYS_SOFTWARE=1 timeout 60 xvfb-run -a -s "-screen 0 640x480x24" "$demo" 1.5 2>&1) ||
  status=$?
printf '%s\n' "$output"
if [ "$status" -ne 0 ]; then
  echo "zel-glfwdemo exited with status $status"
  exit 1
fi
fps=$(printf '%s\n' "$output" | sed -n 's/^frame rate: \([0-9.]*\) fps$/\1/p')
if [ -z "$fps" ] || ! awk -v fps="$fps" 'BEGIN { exit !(fps > 0) }'; then
  echo "zel-glfwdemo reported no positive frame rate"
  exit 1
fi
echo "zel-glfwdemo: $fps fps under Xvfb with software OpenGL"
