#!/usr/bin/env bash
# How a graphics build scales with the number of sprites, each figure beside its goal:
#
#   bash bench/bench_sprites.sh [rounds] [counts...]     (default 3 rounds; 100 1000 10000)
#   BASELINE=/path/to/morvik bash bench/bench_sprites.sh ...   (also times another build)
#
# For each count n it generates an object of n sprites, each on a sheet of its own (a 112 x 64
# 32-bit TGA with depth and its 8-bit palette BMP), all in one folder: 2n image files, 20,000
# for 10,000 sprites. Every sprite also asks for its absent alpha image, as any build does.
# Rounds are interleaved (each round builds every object, each beside cat of its own input
# files; objects under 1,000 sprites as often as 1,000 / n times); the figures are medians of
# all the builds of a count: the build, cat, the build per sprite and per cat, and each
# count's cost per sprite against the largest count's. A build's time is the whole process,
# its start included; the clock is the shell's own (EPOCHREALTIME), so that no process but the
# one timed is started between two readings (a clock read by a `date` process put that
# process's start, some milliseconds on a busy machine, into every figure).
# With BASELINE, every build is paired with one by that program, the two in turns taking the
# first place, and the baseline's figures are printed beneath this build's.
# Builds release programs into build-bench/, data into build-bench/sprites/. Not run by the
# test command. The machine should be otherwise idle for figures that mean anything.
set -euo pipefail
export LC_ALL=C  # the clock and bc both write and read a decimal point
cd "$(dirname "$0")/.."

rounds=${1:-3}
shift || true
counts=("$@")
((${#counts[@]})) || counts=(100 1000 10000)
jobs=${JOBS:-3}
baseline=${BASELINE:-}
[[ -z $baseline || -x $baseline ]] || { echo "BASELINE is not a program: $baseline" >&2; exit 1; }
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DOBJTOOLS_BENCH=ON > /dev/null
cmake --build build-bench -j "$jobs" --target morvik > /dev/null
bin=build-bench/bin

work=build-bench/sprites
rm -rf "$work"
mkdir -p "$work"
"${CXX:-c++}" -std=c++17 -O2 -o "$work/makeimages" examples/makeimages.cpp
printf 'IFF FILE 2.5:TYPE FOLLOWED BY SIZE\0 PELOR VANTRICK & KOBRU 1\0\0\0\0' > "$work/empty.iff"
for n in "${counts[@]}"; do
  mkdir -p "$work/$n/art"
  "$work/makeimages" sprites "$work/$n/art" "$n"
  : > "$work/$n/build.txt"
  : > "$work/$n/cat.txt"
  : > "$work/$n/baseline.txt"
done

# Bash 5 reads the clock without starting a process.
[[ -n ${EPOCHREALTIME:-} ]] || { echo "bench_sprites.sh needs bash 5 (EPOCHREALTIME)" >&2; exit 1; }
median() { sort -g | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
inputs() { printf '%s\0' "$work/$1"/art/*.tga "$work/$1"/art/*.bmp; }

for n in "${counts[@]}"; do inputs "$n" | xargs -0 cat > /dev/null; done  # warm the page cache
# One build of the object of `$2` sprites by program `$1`, its time appended to file `$3`.
build_once() {
  # The destination is made before the clock starts.
  rm -f "$work/$2/out.iff"
  cp "$work/empty.iff" "$work/$2/out.iff"
  local t0=$EPOCHREALTIME
  "$1" "$work/$2/out.iff" -spec "$work/$2/art/sprites.omk" -graphics "$work/$2/art/" \
    2> "$work/$2/build.log"
  local t1=$EPOCHREALTIME
  echo "$t1 - $t0" | bc -l >> "$3"
}

for ((r = 0; r < rounds; r++)); do
  for n in "${counts[@]}"; do
    # Smaller objects are built more often in a round, for as many samples of their noise.
    for ((k = 0; k < (1000 + n - 1) / n; k++)); do
      t0=$EPOCHREALTIME
      inputs "$n" | xargs -0 cat > /dev/null
      t1=$EPOCHREALTIME
      echo "$t1 - $t0" | bc -l >> "$work/$n/cat.txt"
      if [[ -n $baseline ]] && (((r + k) % 2)); then
        build_once "$baseline" "$n" "$work/$n/baseline.txt"
        build_once "$bin/morvik" "$n" "$work/$n/build.txt"
      else
        build_once "$bin/morvik" "$n" "$work/$n/build.txt"
        [[ -z $baseline ]] || build_once "$baseline" "$n" "$work/$n/baseline.txt"
      fi
    done
  done
done

largest=${counts[${#counts[@]} - 1]}
printf '\nsprites on 112 x 64 sheets, one sheet each, all in one folder; medians of %d rounds\n' "$rounds"
# The table of one program's builds, whose times are in each count's file `$2`.
table() {
  local per_largest build cat_s per
  per_largest=$(echo "$(median < "$work/$largest/$2") / $largest" | bc -l)
  printf '%s\n  %7s %7s %10s %10s %12s %9s %14s\n' "$1" sprites files build cat per-sprite build/cat \
    "per sprite/$largest"
  for n in "${counts[@]}"; do
    build=$(median < "$work/$n/$2")
    cat_s=$(median < "$work/$n/cat.txt")
    per=$(echo "$build / $n" | bc -l)
    printf '  %7d %7d %9.3fs %9.3fs %10.1fus %9.2f %14.2f\n' "$n" $((2 * n)) "$build" "$cat_s" \
      "$(echo "$per * 1000000" | bc -l)" "$(echo "$build / $cat_s" | bc -l)" \
      "$(echo "$per / $per_largest" | bc -l)"
  done
}
table "this build ($bin/morvik)" build.txt
[[ -z $baseline ]] || table "baseline ($baseline)" baseline.txt
printf '  goals: build/cat <= 2.0 at 10000 sprites; per sprite within 0.80 .. 1.20 of %d sprites\n' "$largest"
