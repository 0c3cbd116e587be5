#!/usr/bin/env bash
# Times a whole graphics build of a generated object against only reading its input images.
#
#   bash bench/bench_build.sh [sheets]     (default 10 sheets = 40 sprites)
#
# Each sheet is a 32-bit TGA of 4 sprites (4 views x 3 zooms, large cells of 336 x 336) with
# its 8-bit palette BMP and an alpha image of the same size; 10 sheets hold about 63
# megapixels of TGA images (31.6 M of sprite sheets, as many of alpha images).
#
# Three figures: the morvik process for the whole build (-graphics); reading the same images
# through the image readers into offscreen worlds, as the build does (bench_read_images); and,
# for scale, reading the same bytes with cat from the warm page cache.
# Builds release programs with the benchmarks into build-bench/. Not run by the test command.
set -euo pipefail
cd "$(dirname "$0")/.."

sheets=${1:-10}
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DOBJTOOLS_BENCH=ON > /dev/null
cmake --build build-bench -j "$(nproc)" --target morvik bench_read_images > /dev/null

work=build-bench/data
rm -rf "$work"
mkdir -p "$work/art"
"${CXX:-c++}" -std=c++17 -O2 -o "$work/makeimages" examples/makeimages.cpp
"$work/makeimages" bench "$work/art" "$sheets"
printf 'IFF FILE 2.5:TYPE FOLLOWED BY SIZE\0 PELOR VANTRICK & KOBRU 1\0\0\0\0' > "$work/bench.iff"

now() { date +%s.%N; }
images=("$work"/art/*.tga "$work"/art/*.bmp)

cat "${images[@]}" > /dev/null  # warm the page cache
t0=$(now)
cat "${images[@]}" > /dev/null
t1=$(now)
read_s=$(build-bench/bin/bench_read_images "$work/art" | awk '{print $2}')
t2=$(now)
build-bench/bin/morvik "$work/bench.iff" -spec "$work/art/bench.omk" -graphics "$work/art/" \
  2> "$work/build.log"
t3=$(now)

cat_s=$(echo "$t1 - $t0" | bc -l)
build_s=$(echo "$t3 - $t2" | bc -l)
bytes=$(cat "${images[@]}" | wc -c)
printf 'sprites: %d   TGA megapixels: %.1f   input: %.1f MB\n' $((sheets * 4)) \
  "$(echo "$sheets * 2352 * 1344 * 2 / 1000000" | bc -l)" "$(echo "$bytes / 1000000" | bc -l)"
printf 'build (morvik -graphics): %.3f s\n' "$build_s"
printf 'read images only:         %.3f s   build / read: %.1f\n' "$read_s" \
  "$(echo "$build_s / $read_s" | bc -l)"
printf 'cat of the same bytes:    %.3f s   build / cat:  %.1f\n' "$cat_s" \
  "$(echo "$build_s / $cat_s" | bc -l)"
printf 'object file: %d bytes\n' "$(wc -c < "$work/bench.iff")"
