# Helpers shared by .ci/run and the stage scripts in .ci/stages/.

# Installs the named Debian packages that are not installed yet.
ensure_packages() {
  local need=() pkg
  for pkg in "$@"; do
    dpkg -s "$pkg" >/dev/null 2>&1 || need+=("$pkg")
  done
  [ ${#need[@]} -eq 0 ] && return 0
  echo "installing: ${need[*]}"
  if [ -z "${ZEL_APT_UPDATED:-}" ]; then
    apt-get update -qq
    export ZEL_APT_UPDATED=1
  fi
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
}

# Number of parallel jobs for builds.
jobs() { nproc 2>/dev/null || echo 2; }
