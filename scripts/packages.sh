# Debian packages the build, the tests and the cross build need.
SWATHLINK_PACKAGES="cmake ninja-build g++ binutils libgtest-dev libbenchmark-dev \
mingw-w64 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 iproute2 util-linux libpng-dev libtiff-dev \
liblcms2-dev libgs-common libjpeg-dev ghostscript imagemagick wine wine64 googletest clang libclang-rt-14-dev \
pkg-config dpkg-dev fakeroot file lintian man-db groff-base nlohmann-json3-dev libpappl-dev cups-ipp-utils \
cups cups-filters chromium"
# What scripts/demo.sh needs: the build, the image libraries, and the test
# frameworks the tree's configuration looks for.
SWATHLINK_DEMO_PACKAGES="cmake ninja-build g++ libgtest-dev libbenchmark-dev libpng-dev libtiff-dev \
libjpeg-dev liblcms2-dev libgs-common nlohmann-json3-dev"

# Installs the packages of the list given (default: $SWATHLINK_PACKAGES).
install_packages() {
    missing=""
    for p in ${1:-$SWATHLINK_PACKAGES}; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
    done
    [ -z "$missing" ] && return 0
    echo "installing:$missing"
    if [ "$(id -u)" -ne 0 ]; then
        echo "run as root to install:$missing" >&2
        exit 1
    fi
    apt-get update -q
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q $missing
}
