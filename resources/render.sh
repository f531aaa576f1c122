#!/usr/bin/env bash
# Rebuilds the rendered icons and images from their SVG sources.
# The outputs are committed, so a normal build never needs rsvg-convert or
# ImageMagick; run this only after editing an SVG.
set -euo pipefail

cd "$(dirname "$0")"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Drop timestamps and other ancillary chunks so re-rendering an unchanged
# SVG gives byte-identical files (no noise in git).
png_opts=(-strip -define png:exclude-chunks=date,time)

# render SVG SIZE OUT
render() {
    rsvg-convert -w "$2" -h "$2" "$1" -o "$3"
}

# make_ico NAME SIZE...
# 16 px comes from NAME_16.svg when there is one: small sizes need their own
# pixel-fitted drawing, a scaled-down big one is just blur.
make_ico() {
    local name=$1 size src frames=()
    shift
    for size in "$@"; do
        src=icons/$name.svg
        if [[ $size -eq 16 && -f icons/${name}_16.svg ]]; then
            src=icons/${name}_16.svg
        fi
        render "$src" "$size" "$tmp/${name}_$size.png"
        frames+=("$tmp/${name}_$size.png")
    done
    convert "${frames[@]}" "${png_opts[@]}" "icons/$name.ico"
}

make_ico ovra 16 24 32 48 64 256
# The desktop theme's sizes of the program icon, from the same frames.
python3 ico_frames.py icons/ovra.ico icons/hicolor ovs-viewer
make_ico arrow_green 16 24 32 48
make_ico arrow_red 16 24 32 48
make_ico chisel_blue 16 24 32 48

rsvg-convert images/logo_detoure.svg -o "$tmp/logo.png"
convert "$tmp/logo.png" "${png_opts[@]}" PNG32:images/logo_detoure.png

# Fully transparent tile: the table paints it so the logo behind shows through.
convert -size 16x16 xc:none "${png_opts[@]}" PNG32:images/transparence.png
