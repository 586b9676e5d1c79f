#!/usr/bin/env bash
# Redraws the program's PNG icons (16, 32, 48 and 128 pixels) from
# data/icons/tesselwick.svg after the drawing has changed. A tool for the
# developer, not a build step: the PNGs are committed beside the SVG.
# Needs rsvg-convert (Debian package librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")/../data/icons"
command -v rsvg-convert >/dev/null || {
  echo "make-icons.sh: rsvg-convert is missing; install librsvg2-bin" >&2
  exit 1
}
for size in 16 32 48 128; do
  rsvg-convert --width "$size" --height "$size" --format png \
    --output "tesselwick-$size.png" tesselwick.svg
  echo "data/icons/tesselwick-$size.png"
done
