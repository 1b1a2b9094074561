# Shared by the scripts: install what is missing from Debian's packages, then
# configure and build into a folder of the repository.

OSTREL_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
OSTREL_PACKAGES=(cmake g++ make pkg-config qt6-base-dev qt6-serialport-dev libgl-dev
  fonts-dejavu-core fonts-liberation fonts-terminus-otb fonts-unifont xfonts-base libzint-dev
  libgtest-dev libbenchmark-dev libzxing-dev libsystemd-dev qt6-httpserver-dev qt6-websockets-dev)

ostrel_install_packages() {
  local missing=()
  for package in "${OSTREL_PACKAGES[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
      missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# ostrel_build BUILD_DIR [cmake options...] [--target TARGET]
ostrel_build() {
  local dir="$1"
  shift
  local options=() target=()
  while [ $# -gt 0 ]; do
    if [ "$1" = "--target" ]; then target=(--target "$2"); shift 2; else options+=("$1"); shift; fi
  done
  cmake -S "$OSTREL_ROOT" -B "$dir" "${options[@]}" >/dev/null
  cmake --build "$dir" -j "$(nproc)" "${target[@]}"
}
