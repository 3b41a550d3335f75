# Shared by ./run and ./test: installs the Debian packages the project needs and builds.
# shellcheck shell=bash

VANTREL_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# The optimised programs users run live in build/; the suite runs in a sanitizer tree of its own.
VANTREL_BUILD="$VANTREL_ROOT/build"
VANTREL_ASAN_BUILD="$VANTREL_ROOT/build-asan"
# Two cores by default: enough for a tree, and the machine is often shared.
VANTREL_JOBS="${VANTREL_JOBS:-$(nproc)}"

# Packages needed to build and test; the optional ones make more tests run.
VANTREL_PACKAGES=(cmake g++ make pkg-config ccache libpng-dev zlib1g-dev libgtest-dev libgmock-dev
  libbenchmark-dev nlohmann-json3-dev qt6-base-dev clang xvfb xauth ffmpeg
  libtesseract-dev tesseract-ocr tesseract-ocr-eng tesseract-ocr-fra tesseract-ocr-deu tesseract-ocr-spa
  tesseract-ocr-ita tesseract-ocr-nld tesseract-ocr-por
  tesseract-ocr-pol tesseract-ocr-ces tesseract-ocr-hun tesseract-ocr-tur tesseract-ocr-ell tesseract-ocr-rus
  libhunspell-dev hunspell-en-us hunspell-fr hunspell-de-de hunspell-es hunspell-it hunspell-nl
  hunspell-pt-pt hunspell-pl hunspell-cs hunspell-hu hunspell-tr hunspell-el hunspell-ru
  libavformat-dev libavcodec-dev libavutil-dev mkvtoolnix
  libfreetype-dev fonts-dejavu-core fonts-dejavu-extra fonts-liberation2 fonts-freefont-ttf fonts-urw-base35)

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

# Configures a tree with the given settings. Every setting is passed each time, so a tree
# configured differently before (build/ was once the sanitizer tree) is brought in line.
configure_tree() {
  local dir="$1"
  shift
  cmake -S "$VANTREL_ROOT" -B "$dir" "$@" "${VANTREL_LAUNCHER[@]}" >&2
}

# The optimised tree in build/: Release, no sanitizers, warnings as errors, with the tests and
# benchmarks so that a warning only the optimiser shows stops ./test.
configure_release() {
  configure_tree "$VANTREL_BUILD" -DCMAKE_BUILD_TYPE=Release -DVANTREL_SANITIZE=OFF \
    -DVANTREL_WERROR=ON -DVANTREL_TESTS=ON -DVANTREL_BENCH=ON
}

# The programs users run: only the two programs of the optimised tree.
build_programs() {
  configure_release
  local targets=(--target vantrel-cli)
  # The window exists only where Qt 6 was found. The target list is read whole before it is
  # searched: with `grep -q` quitting at the first match, make would write into a closed pipe
  # and fail, and under pipefail the window would never be built.
  local help
  help="$(cmake --build "$VANTREL_BUILD" --target help 2>/dev/null || true)"
  # Make lists "... vantrel", Ninja "vantrel: phony".
  if grep -qxE '(\.\.\. )?vantrel(: .*)?' <<<"$help"; then
    targets+=(--target vantrel)
  fi
  cmake --build "$VANTREL_BUILD" -j "$VANTREL_JOBS" "${targets[@]}" >&2
}

# Everything of the optimised tree: programs, tests and benchmarks.
build_release() {
  configure_release
  cmake --build "$VANTREL_BUILD" -j "$VANTREL_JOBS" >&2
}

# The test tree: the suite under AddressSanitizer and UndefinedBehaviorSanitizer, each folder
# a shared library linked without undefined symbols, so a call against the folder order fails.
build_asan() {
  configure_tree "$VANTREL_ASAN_BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTREL_SANITIZE=ON \
    -DVANTREL_WERROR=ON -DVANTREL_TESTS=ON -DVANTREL_BENCH=OFF -DVANTREL_CHECK_LAYERS=ON
  cmake --build "$VANTREL_ASAN_BUILD" -j "$VANTREL_JOBS" >&2
}
