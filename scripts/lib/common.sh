# Shared by the scripts: installs the Debian packages the build and the tests need.
# shellcheck shell=bash

VEMO_PACKAGES=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev libjpeg62-turbo-dev libsqlite3-dev
  libgtest-dev libbenchmark-dev
  xvfb xauth xdotool fonts-dejavu-core
  iproute2 util-linux openbox
  clang-14 libclang-rt-14-dev valgrind
  desktop-file-utils appstream groff-base
)

vemo_install_packages() {
  local missing=()
  local pkg
  for pkg in "${VEMO_PACKAGES[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then
      sudo=(sudo)
    else
      echo "error: these Debian packages are missing: ${missing[*]}" >&2
      echo "error: run this script as root, or install sudo, or install them by hand with apt-get." >&2
      exit 1
    fi
  fi
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

vemo_build() {
  local preset=$1
  shift
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" "$@"
}
