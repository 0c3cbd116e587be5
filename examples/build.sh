#!/usr/bin/env bash
# Builds the example object: makes its images into a fresh build/example/, compiles
# examples/chair.omk with them into build/example/chair.iff and prints the draw-group table.
# Run by `make example` after the programs are built.
set -euo pipefail
cd "$(dirname "$0")/.."

out=build/example
rm -rf "$out"
mkdir -p "$out/art"

"${CXX:-c++}" -std=c++17 -O2 -o "$out/makeimages" examples/makeimages.cpp
"$out/makeimages" example "$out/art"
cp examples/chair.omk "$out/chair.omk"

# The destination must exist as an object file: an empty IFF 2.5 file is its 64-byte header.
printf 'IFF FILE 2.5:TYPE FOLLOWED BY SIZE\0 PELOR VANTRICK & KOBRU 1\0\0\0\0' > "$out/chair.iff"

build/bin/morvik "$out/chair.iff" -spec "$out/chair.omk" -graphics "$out/art/" -printdgrps
echo "example object: $out/chair.iff ($(wc -c < "$out/chair.iff") bytes)"
