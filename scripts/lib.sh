# Shared by the Quick start scripts: the Debian packages Quillmap needs, installed when missing.
# shellcheck shell=bash

QUILLMAP_PACKAGES=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-svg-dev libgl-dev
  fonts-dejavu-core libgtest-dev libgmock-dev libbenchmark-dev poppler-utils)

# The fuzz targets' compiler and its libFuzzer and sanitizer runtimes, for scripts/test.
QUILLMAP_FUZZ_PACKAGES=(clang libclang-rt-dev)

# Installs the missing ones of QUILLMAP_PACKAGES and of any packages named as arguments.
quillmap_install_packages() {
  local missing=()
  local pkg
  for pkg in "${QUILLMAP_PACKAGES[@]}" "$@"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$pkg")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "These Debian packages are missing. Install them as root, then run this again:" >&2
    echo "  apt-get install -y ${missing[*]}" >&2
    exit 1
  fi
  echo "Installing ${missing[*]} ..."
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
}

# A locale whose decimal separator is a comma, for the tests that check what the program makes of
# one (or that it does not read the locale at all); generated when missing, as root.
quillmap_add_comma_locale() {
  locale -a 2>/dev/null | grep -qix 'de_DE.utf-\?8' && return 0
  [ "$(id -u)" -eq 0 ] || {
    echo "No de_DE.UTF-8 locale: the tests that need one are skipped." >&2
    echo "As root: localedef -i de_DE -f UTF-8 de_DE.UTF-8" >&2
    return 0
  }
  quillmap_install_packages locales
  localedef -i de_DE -f UTF-8 de_DE.UTF-8
}

# Configures (once) and builds the tree in build/.
quillmap_build() {
  local top="$1"
  shift
  cmake -S "$top" -B "$top/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$top/build" -j "$(nproc)"
}

# The Windows cross build's compiler (POSIX threads flavour) and Wine, for scripts/test-windows.
QUILLMAP_WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix wine wine64)
