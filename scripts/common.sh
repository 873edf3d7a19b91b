# Shared by scripts/run and scripts/test: Debian packages and the build.
# shellcheck shell=bash

QX_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# Everything the build, the tests, the fuzz targets and the fonts the editor draws with need,
# Qt's own texts in Chinese, the window manager and X tools of scripts/wm-test, and CUPS
# with its filters and Ghostscript, the client the printer application is tested with.
QX_PACKAGES=(
  build-essential cmake ninja-build pkg-config
  libfreetype-dev libfontconfig-dev libsqlite3-dev libpng-dev zlib1g-dev
  libzip-dev libexpat1-dev libusb-1.0-0-dev libjpeg-dev
  umockdev libumockdev-dev
  libpappl-dev libcups2-dev libavahi-client-dev cups-ipp-utils libpam0g-dev iproute2
  libgtest-dev libgmock-dev libbenchmark-dev
  clang-14 libclang-rt-14-dev python3
  qt6-base-dev qt6-translations-l10n xvfb xauth desktop-file-utils shared-mime-info
  openbox xdotool x11-utils imagemagick
  cups cups-filters ghostscript
  fonts-wqy-microhei fonts-arphic-uming fonts-liberation2
)

# Installs the packages that are missing; does nothing when all are present.
qx_install_packages() {
  local missing=() p
  for p in "${QX_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' ||
      missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "Run as root or install sudo to add: ${missing[*]}" >&2; return 1; }
    sudo=(sudo)
  fi
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
}

# qx_build DIR [cmake options...]: configures and builds into $QX_ROOT/DIR.
qx_build() {
  local dir="$QX_ROOT/$1"
  shift
  cmake -S "$QX_ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" --parallel "$(nproc)"
}
