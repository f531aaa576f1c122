# Shared by scripts/run and scripts/test: installs what a fresh Debian machine lacks,
# then configures and builds. Sourced, not run.

OVS_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# OVS_SANITIZE=1 builds everything with AddressSanitizer and UndefinedBehaviorSanitizer,
# in a build folder of its own. OVS_QT=6 builds with Qt 6, in build-qt6.
OVS_QT=${OVS_QT:-5}
if [ "${OVS_SANITIZE:-0}" = 1 ]; then
    OVS_BUILD=${OVS_BUILD_DIR:-$OVS_ROOT/build-sanitize}
    OVS_CMAKE_OPTIONS=(-DOVS_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug -DOVS_QT="$OVS_QT")
elif [ "$OVS_QT" = 6 ]; then
    OVS_BUILD=${OVS_BUILD_DIR:-$OVS_ROOT/build-qt6}
    OVS_CMAKE_OPTIONS=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DOVS_QT=6)
else
    OVS_BUILD=${OVS_BUILD_DIR:-$OVS_ROOT/build}
    OVS_CMAKE_OPTIONS=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DOVS_QT=5)
fi

OVS_PACKAGES=(
    binutils
    cmake
    g++
    make
    pkg-config
    qtbase5-dev
    qtbase5-dev-tools
    libqt5serialport5-dev
    dpkg-dev
)
# The suite also runs on Qt 6.
OVS_QT6_PACKAGES=(
    qt6-base-dev
    qt6-serialport-dev
    qt6-5compat-dev
)

ovs_install_missing() {
    local missing=() package
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$package")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0

    local as_root=()
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null 2>&1; then
            as_root=(sudo)
        else
            echo "These Debian packages are missing: ${missing[*]}" >&2
            echo "Install them as root (apt-get install ${missing[*]}), or install sudo." >&2
            exit 1
        fi
    fi
    echo "Installing missing Debian packages: ${missing[*]}"
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

ovs_configure() {
    cmake -S "$OVS_ROOT" -B "$OVS_BUILD" "${OVS_CMAKE_OPTIONS[@]}" "$@"
}

ovs_build() {
    cmake --build "$OVS_BUILD" --parallel "$(nproc)" "$@"
}
