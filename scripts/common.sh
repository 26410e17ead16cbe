# Shared by scripts/demo and scripts/test: install what is missing, then build.
set -euo pipefail
KMR_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export CCACHE_BASEDIR="$KMR_ROOT" CCACHE_NOHASHDIR=true
KMR_PACKAGES=(cmake g++ make ninja-build ccache pkg-config
  qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libgl-dev
  libsqlite3-dev sqlite3 libgtest-dev libgmock-dev
  xvfb xauth x11-utils imagemagick fonts-dejavu-core)

kmr_sudo() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

kmr_install_packages() {
  local missing=()
  for p in "${KMR_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    kmr_sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    kmr_sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
  fi
}

# kmr_build PRESET [TARGET...]
kmr_build() {
  local preset="$1"; shift
  cmake --preset "$preset" -G Ninja >/dev/null
  if [ $# -gt 0 ]; then
    cmake --build --preset "$preset" --parallel "$(nproc)" --target "$@"
  else
    cmake --build --preset "$preset" --parallel "$(nproc)"
  fi
}
