#!/usr/bin/env bash
# Debian packages: builds them from a clean copy of the tree (HEAD plus any
# uncommitted change to a tracked file, never a build folder), checks them
# with lintian (no error, no warning), installs them, builds the outside
# consumer of tests/package/ against the system's copy, runs zel-framestats
# from the PATH, checks the library's ABI against packaging/abi/, then purges
# the packages and checks that none of their files is left. Tests are not
# built (nocheck): make check has run them. Prints one summary line.
set -euo pipefail
cd "$(dirname "$0")/../.."
source .ci/lib.sh

ensure_packages build-essential debhelper cmake pkgconf help2man libimgui-dev libvulkan-dev lintian \
  abigail-tools binutils git libsqlite3-dev libpq-dev
packages=(libzeltimers-v3.0-3 libzeltimers-dev zeltimers-tools)

installed() { dpkg-query -W -f '${Status}\n' "$1" 2>/dev/null | grep -q ' installed$'; }
for package in "${packages[@]}"; do
  if installed "$package"; then
    echo "debian: $package is installed already; this stage would purge it"
    exit 1
  fi
done

present() {
  dpkg-query -W -f '${db:Status-Status} ${binary:Package}\n' | awk '$1 != "not-installed" {print $2}' |
    sort
}
work=$(mktemp -d /tmp/zeltimers-debian.XXXXXX)
present >"$work/packages-before"
# Whatever happens, the machine ends with the packages it started with.
cleanup() {
  local extra
  extra=$(comm -13 "$work/packages-before" <(present))
  if [ -n "$extra" ]; then
    # shellcheck disable=SC2086  # one package name a word
    dpkg --purge $extra >/dev/null 2>&1 || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  [ $# -lt 2 ] || cat "$2"
  echo "debian: $1"
  exit 1
}

start=$SECONDS
source_dir=$work/zeltimers
mkdir -p "$source_dir"
snapshot=$(git stash create)
git archive "${snapshot:-HEAD}" | tar -x -C "$source_dir"
(cd "$source_dir" &&
  DEB_BUILD_OPTIONS="nocheck parallel=2" DEB_BUILD_PROFILES=nocheck \
    nice -n 10 dpkg-buildpackage -us -uc -b) >"$work/build.log" 2>&1 ||
  fail "dpkg-buildpackage failed" "$work/build.log"
built=$((SECONDS - start))
version=$(cd "$source_dir" && dpkg-parsechangelog -S Version)
changes=$(ls "$work"/zeltimers_*.changes)

lintian --fail-on error,warning --pedantic --info "$changes" >"$work/lintian.log" 2>&1 ||
  fail "lintian reports errors or warnings" "$work/lintian.log"
tags=$(grep -c '^[EWIPX]: ' "$work/lintian.log" || true)

debs=()
for package in "${packages[@]}"; do
  debs+=("$work/${package}_${version}_$(dpkg --print-architecture).deb")
done
dpkg -i "${debs[@]}" >"$work/install.log" 2>&1 || true
DEBIAN_FRONTEND=noninteractive apt-get -f install -y -qq >>"$work/install.log" 2>&1 ||
  fail "the packages did not install" "$work/install.log"
for package in "${packages[@]}"; do
  installed "$package" || fail "$package is not installed" "$work/install.log"
done

bash "$source_dir/tests/package/package_test.sh" system "$source_dir" "$source_dir" \
  "$work/consumer" g++ "Unix Makefiles" >"$work/consumer.log" 2>&1 ||
  fail "the outside consumer failed against the installed packages" "$work/consumer.log"

framestats=$(command -v zel-framestats || true)
[ "$framestats" = /usr/bin/zel-framestats ] || fail "zel-framestats is not /usr/bin's: '$framestats'"
zel-framestats "$source_dir/tests/captures/presentmon1-csgo.csv" >"$work/framestats.log" 2>&1 ||
  fail "zel-framestats failed" "$work/framestats.log"
grep -Eq '^frames +300$' "$work/framestats.log" ||
  fail "zel-framestats did not count the capture's 300 frames" "$work/framestats.log"
# zel-capture finds its hook where the package put it.
zel-capture --output "$work/" -- true >"$work/capture.log" 2>&1 ||
  fail "zel-capture did not run a program from /usr" "$work/capture.log"
zcat /usr/share/man/man1/zel-framestats.1.gz | grep '^zel-framestats \\- ' >/dev/null ||
  fail "zel-framestats' manual page has no NAME line"

bash "$source_dir/packaging/abi/check.sh" "$work/abi" >"$work/abi.log" 2>&1 ||
  fail "ABI check failed" "$work/abi.log"
abi=$(tail -n 1 "$work/abi.log")

# Every path the packages installed must be gone after the purge, except a
# folder another package still owns.
for package in "${packages[@]}"; do
  dpkg -L "$package"
done | grep -vx '/\.' | sort -u >"$work/files"
dpkg --purge "${packages[@]}" >"$work/purge.log" 2>&1 || fail "dpkg --purge failed" "$work/purge.log"
left=$work/left
: >"$left"
while IFS= read -r path; do
  [ -e "$path" ] || [ -L "$path" ] || continue
  if [ -d "$path" ] && [ ! -L "$path" ] && dpkg -S "$path" >/dev/null 2>&1; then
    continue
  fi
  echo "$path" >>"$left"
done <"$work/files"
[ ! -s "$left" ] || fail "left behind after the purge:" "$left"
if ldconfig -p | grep ZelTimers >/dev/null; then
  fail "the loader's cache still names libZelTimers"
fi

echo "debian: ${packages[*]} $version built in $built s; lintian clean ($tags info tags);" \
  "installed, consumer (find_package, pkg-config) and zel-framestats ran from /usr;" \
  "${abi#abi: }; purged, $(wc -l <"$work/files") paths checked, none left ($((SECONDS - start)) s)"
