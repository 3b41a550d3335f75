# Shared by ./run and ./test: installs the Debian packages the project needs and builds.
# shellcheck shell=bash

VANTREL_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
VANTREL_BUILD="$VANTREL_ROOT/build"

# Packages needed to build and test; the optional ones make more tests run.
VANTREL_PACKAGES=(cmake g++ make pkg-config ccache libpng-dev zlib1g-dev libgtest-dev libgmock-dev
  libbenchmark-dev nlohmann-json3-dev qt6-base-dev clang xvfb xauth ffmpeg
  libtesseract-dev tesseract-ocr tesseract-ocr-eng tesseract-ocr-fra tesseract-ocr-deu tesseract-ocr-spa
  tesseract-ocr-ita tesseract-ocr-nld tesseract-ocr-por
  libhunspell-dev hunspell-en-us hunspell-fr hunspell-de-de hunspell-es hunspell-it hunspell-nl
  hunspell-pt-pt
  libfreetype-dev fonts-dejavu-core fonts-liberation2 fonts-freefont-ttf)

ensure_packages() {
  local missing=()
  for p in "${VANTREL_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing Debian packages: ${missing[*]}" >&2
    echo "Run as root, or install them with: sudo apt-get install ${missing[*]}" >&2
    exit 1
  fi
  echo "Installing: ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq >&2
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
}

# ccache makes rebuilding a fresh clone or a second tree cheap; paths inside the tree are
# hashed relative to it, so work trees in other folders share the cache.
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR="$VANTREL_ROOT"
  VANTREL_LAUNCHER=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
else
  VANTREL_LAUNCHER=()
fi

# Configures (once) and builds the main tree: tests with the sanitizers, warnings as errors.
build_main() {
  if [ ! -f "$VANTREL_BUILD/CMakeCache.txt" ]; then
    cmake -S "$VANTREL_ROOT" -B "$VANTREL_BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DVANTREL_SANITIZE=ON -DVANTREL_WERROR=ON -DVANTREL_TESTS=ON "${VANTREL_LAUNCHER[@]}" >&2
  fi
  cmake --build "$VANTREL_BUILD" -j "$(nproc)" >&2
}
