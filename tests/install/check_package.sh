#!/usr/bin/env bash
# Builds the Debian package from a build tree, checks its control data and file list,
# unpacks it into a temporary folder and starts its programs from there. Nothing is
# installed on the machine.
# Usage: check_package.sh BUILD_DIR VERSION QT_MAJOR
set -euo pipefail
build=$1
version=$2
qt=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

(cd "$build" && cpack -G DEB -B "$work/package" >"$work/cpack.log" 2>&1) ||
    { cat "$work/cpack.log" >&2; fail "cpack"; }
deb=$(ls "$work"/package/*.deb)
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes"

info=$(dpkg-deb -I "$deb")
grep -qx " Package: ovs-viewer" <<<"$info" || fail "package name"
grep -qx " Version: $version" <<<"$info" || fail "version is not $version"
depends=$(grep "^ Depends:" <<<"$info") || fail "no dependency line"
echo "$depends"
if [ "$qt" = 6 ]; then
    qt_libraries=(libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 libqt6serialport6
        libqt6core5compat6)
else
    qt_libraries=(libqt5core5a libqt5gui5 libqt5widgets5 libqt5network5 libqt5serialport5)
fi
for library in libc6 libstdc++6 "${qt_libraries[@]}"; do
    grep -q "$library (>= " <<<"$depends" || fail "no versioned dependency on $library"
done

files=$(dpkg-deb -c "$deb" | awk '{print $NF}')
for file in ./usr/bin/ovs-viewer ./usr/bin/ovs-run ./usr/bin/ovs-reader-sim \
    ./usr/share/applications/ovs-viewer.desktop \
    ./usr/share/icons/hicolor/scalable/apps/ovs-viewer.svg \
    ./usr/share/man/man1/ovs-viewer.1 ./usr/share/man/man1/ovs-run.1 \
    ./usr/share/man/man1/ovs-reader-sim.1; do
    grep -qx -- "$file" <<<"$files" || fail "$file missing from the package"
done
for size in 16 24 32 48 64 256; do
    grep -qx -- "./usr/share/icons/hicolor/${size}x${size}/apps/ovs-viewer.png" <<<"$files" ||
        fail "no ${size} px icon"
done
if grep -v -e '^\./$' -e '^\./usr/' <<<"$files" | grep -q .; then
    fail "files outside /usr"
fi

root=$work/root
dpkg-deb -x "$deb" "$root"
grep -qx "Exec=ovs-viewer" "$root/usr/share/applications/ovs-viewer.desktop" ||
    fail "the desktop entry does not start ovs-viewer"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$root/usr/share/applications/ovs-viewer.desktop"
fi
"$root/usr/bin/ovs-run" --help | grep -q "^Exit codes:" || fail "ovs-run --help"
"$root/usr/bin/ovs-reader-sim" --help | grep -q -- "--serial" || fail "ovs-reader-sim --help"
grep -q "^\.SH NAME" "$root/usr/share/man/man1/ovs-run.1" || fail "the ovs-run page"

# The unpacked workbench in an empty home opens the default project.
home=$work/home
mkdir -p "$home"
HOME=$home XDG_CONFIG_HOME=$home/.config QT_QPA_PLATFORM=offscreen \
    "$root/usr/bin/ovs-viewer" >"$work/viewer.log" 2>&1 &
viewer=$!
project="$home/Documents/Tessel-Viewer datas/default_project"
for _ in $(seq 1 300); do
    [ -d "$project/Logs" ] && [ -f "$home/.config/ovraDiroz/tesselViewer.ini" ] && break
    kill -0 "$viewer" 2>/dev/null || { cat "$work/viewer.log" >&2; fail "ovs-viewer ended"; }
    sleep 0.1
done
kill "$viewer" 2>/dev/null || true
wait "$viewer" 2>/dev/null || true
[ -d "$project/Logs" ] || { cat "$work/viewer.log" >&2; fail "no default project"; }
echo "the unpacked programs start; the default project appeared"
