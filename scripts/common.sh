# Shared by scripts/demo and scripts/test: install what is missing, then build.
set -euo pipefail
KMR_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export CCACHE_BASEDIR="$KMR_ROOT" CCACHE_NOHASHDIR=true
KMR_PACKAGES=(cmake g++ make ninja-build ccache pkg-config
  qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libgl-dev
  libsqlite3-dev sqlite3 libgtest-dev libgmock-dev
  xvfb xauth x11-utils imagemagick fonts-dejavu-core tzdata
  openbox xdotool dbus dbus-x11 at-spi2-core python3-gi gir1.2-atspi-2.0 python3-pyatspi gdb)

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

# Node.js and npm from Debian, only where no node or npm is on the PATH (a Node.js installed otherwise
# brings its own npm, which Debian's npm package would conflict with).
kmr_install_node() {
  if command -v node >/dev/null && command -v npm >/dev/null; then
    return 0
  fi
  echo "Installing: nodejs npm"
  kmr_sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  kmr_sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq nodejs npm >/dev/null
}

# node-oracledb 6 into build/odpi-driver for the driver test (tests/odpi_driver), once per build folder;
# npm's own cache makes a reinstall quick. A failure only makes that test skip.
KMR_ODPI_DRIVER_DIR="$KMR_ROOT/build/odpi-driver"
kmr_install_node_driver() {
  local pkg="$KMR_ODPI_DRIVER_DIR/node_modules/oracledb/package.json"
  if [ -f "$pkg" ] && grep -q '"version": "6\.' "$pkg"; then
    return 0
  fi
  if ! kmr_install_node; then
    echo "warning: Node.js could not be installed; the node-oracledb driver test will be skipped" >&2
    return 0
  fi
  mkdir -p "$KMR_ODPI_DRIVER_DIR"
  if ! npm install --prefix "$KMR_ODPI_DRIVER_DIR" --no-audit --no-fund --no-save --loglevel=error \
      oracledb@6 >/dev/null; then
    echo "warning: npm could not install oracledb@6; the node-oracledb driver test will be skipped" >&2
  fi
  return 0
}

# kmr_configure PRESET: a new build folder gets Ninja; one configured before (by hand with the
# preset, say) keeps the generator it has, which CMake would otherwise refuse to change.
kmr_configure() {
  local preset="$1"
  if [ -f "$KMR_ROOT/build/$preset/CMakeCache.txt" ]; then
    cmake --preset "$preset" >/dev/null
  else
    cmake --preset "$preset" -G Ninja >/dev/null
  fi
}

# kmr_build PRESET [TARGET...]
kmr_build() {
  local preset="$1"; shift
  kmr_configure "$preset" || return 1
  if [ $# -gt 0 ]; then
    cmake --build --preset "$preset" --parallel "$(nproc)" --target "$@"
  else
    cmake --build --preset "$preset" --parallel "$(nproc)"
  fi
}
