# The Debian packages the build, the tests and the demo need; sourced by the scripts.
TESSARIL_PACKAGES=(
  cmake ninja-build g++ pkg-config
  libpixman-1-dev libcairo2-dev libfreetype-dev libfontconfig-dev libstb-dev fonts-ipafont-gothic
  googletest libgtest-dev libbenchmark-dev python3
  libx11-dev libxext-dev xvfb xdotool trayer x11-xserver-utils imagemagick
  clang libclang-rt-14-dev
  libsystemd-dev dbus-daemon
  desktop-file-utils appstream man-db dpkg-dev
  sway xwayland grim wtype openbox picom x11-apps
  libwayland-dev libwayland-bin wayland-protocols libxkbcommon-dev
)

# Installs whichever of the given packages are missing (apt-get update first).
install_missing_packages() {
  local missing=()
  local p
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$p")
    fi
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}
