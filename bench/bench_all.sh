#!/usr/bin/env bash
# The speed figures of the graphics road, each printed beside its goal, from one command:
#
#   bash bench/bench_all.sh [rounds] [sheets] [shape]   (default 5 rounds, 32 sheets, rows)
#   BASELINE=/path/to/morvik bash bench/bench_all.sh   (also times another build beside it)
#
# It builds release programs with the benchmarks into build-bench/, generates the data sets
# into build-bench/data/ and measures, interleaved round by round (medians of the rounds):
# - a whole graphics build (morvik -spec -graphics) of `sheets` 1792 x 1024 32-bit TGAs with
#   depth, each with its 8-bit palette BMP, against cat of the same input files; the shape
#   `rows` cuts each sheet into 4 sprites of one row of large cells of 256 sharing one palette
#   (the benchmark's own), `frames2` makes each sheet one sprite with frames=2 (large cells
#   of 256 x 512) and a palette id of its own;
# - the same build on one processor (taskset), and a copy and sync of the object file it
#   writes (dd conv=fsync), the floor that the file's durability sets;
# - opening a 10,000-resource, 100 MB object file through its saved map and listing every
#   resource (bench_openlist), against cat of that file;
# then, once, the fsync and fdatasync calls of one build (when strace is there), and the
# micro-benchmarks of TGA conversion (bench_tga) and SPR2 encoding (bench_encoders), which
# interleave their own runs and print their own goals.
# With BASELINE, each round also times the whole build and the one-processor build by that
# program, right after this build's, and the figures of both are printed side by side.
# Every build must write the same object file: its SHA-256 is printed and compared.
# Not run by the test command. The machine should be otherwise idle for figures that mean
# anything; the ratios are what the goals are about.
set -euo pipefail
cd "$(dirname "$0")/.."

rounds=${1:-5}
sheets=${2:-32}
shape=${3:-rows}
jobs=${JOBS:-3}
baseline=${BASELINE:-}
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DOBJTOOLS_BENCH=ON > /dev/null
cmake --build build-bench -j "$jobs" --target morvik bench_openlist bench_tga bench_encoders > /dev/null
bin=build-bench/bin

work=build-bench/data
rm -rf "$work"
mkdir -p "$work/art"
"${CXX:-c++}" -std=c++17 -O2 -o "$work/makeimages" examples/makeimages.cpp
case $shape in
  rows) "$work/makeimages" bench "$work/art" "$sheets" 256 0; sprites=$((sheets * 4)) ;;
  frames2) "$work/makeimages" big "$work/art" "$sheets" 2; sprites=$sheets ;;
  *) echo "unknown shape $shape (rows or frames2)" >&2; exit 1 ;;
esac
printf 'IFF FILE 2.5:TYPE FOLLOWED BY SIZE\0 PELOR VANTRICK & KOBRU 1\0\0\0\0' > "$work/empty.iff"
"$bin/bench_openlist" make "$work/large.iff" 10000 100

inputs=("$work"/art/*.tga "$work"/art/*.bmp)
input_bytes=$(cat "${inputs[@]}" | wc -c)

now() { date +%s.%N; }
median() { sort -g | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }

# The destination is made before the clock starts: replacing the last build's file would
# charge this build with freeing that file's disk blocks.
prepare_build() {
  rm -f "$work/bench.iff"
  cp "$work/empty.iff" "$work/bench.iff"
}
build_once() {
  "$bin/morvik" "$work/bench.iff" -spec "$work/art/bench.omk" -graphics "$work/art/" 2> "$work/build.log"
}
# Times one build by program $1 (the rest: a prefix such as taskset), appending its seconds to
# $work/$2 and its object file's digest to the digests compared.
time_other() {
  local program=$1 file=$2
  shift 2
  prepare_build
  local t0 t1
  t0=$(now); "$@" "$program" "$work/bench.iff" -spec "$work/art/bench.omk" -graphics "$work/art/" \
    2> /dev/null; t1=$(now)
  echo "$t1 - $t0" | bc -l >> "$work/$file"
  digests+=("$(sha256sum < "$work/bench.iff" | cut -c1-16)")
}

cat "${inputs[@]}" "$work/large.iff" > /dev/null  # warm the page cache
: > "$work/cat_in.txt"; : > "$work/build.txt"; : > "$work/cat_iff.txt"; : > "$work/list.txt"
: > "$work/build1.txt"; : > "$work/durable.txt"; : > "$work/base.txt"; : > "$work/base1.txt"
# The same build held to one processor (when taskset is there): what one thread does alone.
one_cpu=()
command -v taskset > /dev/null && one_cpu=(taskset -c "$(( $(nproc) - 1 ))")
object_mb=0
digests=()
for ((r = 0; r < rounds; r++)); do
  prepare_build
  t0=$(now); cat "${inputs[@]}" > /dev/null; t1=$(now)
  build_once; t2=$(now)
  digests+=("$(sha256sum < "$work/bench.iff" | cut -c1-16)")
  t3=$(now); cat "$work/large.iff" > /dev/null; t4=$(now)
  "$bin/bench_openlist" run "$work/large.iff" 1 | awk '{print $1}' >> "$work/list.txt"
  echo "$t1 - $t0" | bc -l >> "$work/cat_in.txt"
  echo "$t2 - $t1" | bc -l >> "$work/build.txt"
  echo "$t4 - $t3" | bc -l >> "$work/cat_iff.txt"
  object_mb=$(( ($(wc -c < "$work/bench.iff") + 1048575) / 1048576 ))
  if ((${#one_cpu[@]})); then
    prepare_build
    t5=$(now); "${one_cpu[@]}" "$bin/morvik" "$work/bench.iff" -spec "$work/art/bench.omk" \
      -graphics "$work/art/" 2> /dev/null; t6=$(now)
    echo "$t6 - $t5" | bc -l >> "$work/build1.txt"
  fi
  if [ -n "$baseline" ]; then
    time_other "$baseline" base.txt
    if ((${#one_cpu[@]})); then time_other "$baseline" base1.txt "${one_cpu[@]}"; fi
  fi
  # The floor the object file's durability sets: writing its bytes anew and syncing them.
  rm -f "$work/durable.bin"
  t7=$(now); dd if="$work/bench.iff" of="$work/durable.bin" bs=1M conv=fsync status=none; t8=$(now)
  echo "$t8 - $t7" | bc -l >> "$work/durable.txt"
done
build1=$( ((${#one_cpu[@]})) && median < "$work/build1.txt" || echo 0)
durable=$(median < "$work/durable.txt")
cat_in=$(median < "$work/cat_in.txt")
build=$(median < "$work/build.txt")
cat_iff=$(median < "$work/cat_iff.txt")
list=$(median < "$work/list.txt")

same=yes
for d in "${digests[@]}"; do [[ "$d" == "${digests[0]}" ]] || same=no; done

syncs="n/a (no strace)"
copies="n/a (no strace)"
if command -v strace > /dev/null; then
  prepare_build
  if strace -f -c -e trace=fsync,fdatasync,copy_file_range,rename,renameat,renameat2 -o "$work/strace.txt" \
       "$bin/morvik" "$work/bench.iff" -spec "$work/art/bench.omk" -graphics "$work/art/" 2> /dev/null; then
    syncs=$(awk '$NF == "fsync" || $NF == "fdatasync" {n += $4} END {print n + 0}' "$work/strace.txt")
    copies=$(awk '$NF ~ /^(copy_file_range|rename|renameat|renameat2)$/ {n += $4} END {print n + 0}' "$work/strace.txt")
  fi
fi

printf '\nwhole build: %d sheets of 1792 x 1024 (%.1f megapixels, shape %s), %.1f MB of input, %d sprites; median of %d rounds\n' \
  "$sheets" "$(echo "$sheets * 1792 * 1024 / 1000000" | bc -l)" "$shape" "$(echo "$input_bytes / 1000000" | bc -l)" \
  "$sprites" "$rounds"
printf '  build (morvik -graphics)  %8.3f s\n' "$build"
printf '  cat of the input files    %8.3f s\n' "$cat_in"
printf '  build / cat               %8.2f     goal: <= 1.5\n' "$(echo "$build / $cat_in" | bc -l)"
printf '  copy + sync of the object file (%d MB, dd conv=fsync)  %.3f s: %.2f of cat\n' \
  "$object_mb" "$durable" "$(echo "$durable / $cat_in" | bc -l)"
if ((${#one_cpu[@]})); then
  printf '  build on one processor    %8.3f s: %.2f of cat\n' "$build1" "$(echo "$build1 / $cat_in" | bc -l)"
fi
if [ -n "$baseline" ]; then
  base=$(median < "$work/base.txt")
  printf '  baseline build            %8.3f s: %.2f of cat; build / baseline, median of rounds: %.2f\n' \
    "$base" "$(echo "$base / $cat_in" | bc -l)" \
    "$(paste "$work/build.txt" "$work/base.txt" | awk '{print $1 / $2}' | median)"
  if ((${#one_cpu[@]})); then
    base1=$(median < "$work/base1.txt")
    printf '  baseline on one processor %8.3f s: %.2f of cat; one processor / baseline: %.2f\n' \
      "$base1" "$(echo "$base1 / $cat_in" | bc -l)" \
      "$(paste "$work/build1.txt" "$work/base1.txt" | awk '{print $1 / $2}' | median)"
  fi
fi
printf '  fsync + fdatasync calls   %8s     goal: at most 4 per fresh build\n' "$syncs"
printf '  copy and rename calls     %8s     goal: 0 (a fresh file is not compacted)\n' "$copies"
printf '  object file %d bytes, SHA-256 %s..., the same in every round: %s\n' \
  "$(wc -c < "$work/bench.iff")" "${digests[0]}" "$same"
printf '\nopen and list: 10000 resources, %.1f MB, through the saved map; median of %d rounds\n' \
  "$(echo "$(wc -c < "$work/large.iff") / 1000000" | bc -l)" "$rounds"
printf '  open + list + close       %8.4f s\n' "$list"
printf '  cat of the file           %8.4f s\n' "$cat_iff"
printf '  open-and-list / cat       %8.3f     goal: < 0.05\n' "$(echo "$list / $cat_iff" | bc -l)"
echo
"$bin/bench_tga" "$work" "$rounds"
echo
"$bin/bench_encoders" "$rounds"
