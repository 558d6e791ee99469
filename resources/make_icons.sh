#!/usr/bin/env bash
# Renders the program's icon, resources/icons/quillfern.svg, into the PNG
# sizes of the hicolor theme (committed; the build embeds them as every
# window's icon and installs them). Needs rsvg-convert (librsvg2-bin).
#
#   bash resources/make_icons.sh
set -euo pipefail

icons="$(cd "$(dirname "$0")" && pwd)/icons"
for size in 16 22 24 32 48 64 128 256; do
  mkdir -p "$icons/$size"
  rsvg-convert -w "$size" -h "$size" "$icons/quillfern.svg" -o "$icons/$size/quillfern.png"
done
ls -l "$icons"/*/quillfern.png
