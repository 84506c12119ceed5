# Shared by ./run and ./test: installs what is missing and builds.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

HV_PACKAGES=(
  cmake ninja-build g++ ccache pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-charts-dev libgl-dev qt6-qpa-plugins qt6-translations-l10n
  libgtest-dev libgmock-dev
  clang-14 clang-tidy-14 libclang-rt-14-dev
  python3 python3-xlrd python3-olefile python3-dbf
  poppler-utils fonts-liberation2 xvfb xauth
  g++-mingw-w64-x86-64 g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  googletest wine64
  desktop-file-utils appstream dpkg-dev
  man-db bash-completion lintian
  libreoffice-calc-nogui
)

hv_install_packages() {
  local missing=()
  for p in "${HV_PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$p")
    fi
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing[@]}"
  fi
}

# ccache keys on paths relative to the checkout, so clones share the cache.
export CCACHE_BASEDIR="$ROOT"
export CCACHE_NOHASHDIR=1
# The compiler's own list of headers is the cache's, so nothing is run twice on a miss.
export CCACHE_DEPEND="${CCACHE_DEPEND:-1}"

hv_jobs() { nproc 2>/dev/null || echo 2; }

# hv_build DIR [cmake options...]
hv_build() {
  local dir="$1"
  shift
  cmake -S "$ROOT" -B "$dir" -G Ninja "$@"
  cmake --build "$dir" -j "$(hv_jobs)"
}
