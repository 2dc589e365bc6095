#!/usr/bin/env bash
# What a chunk of a long clip costs depending on where it lies: the first and the fiftieth chunk,
# graded as scripts/render-chunks grades them (`threeway grade CLIP chunk.mp4 --frames A-B
# --no-audio`), timed by hyperfine in one run. The reader decodes a range from the key frame at or
# before its first frame, so the two should cost the same (the script says whether they are within
# 20 % of each other); a reader that decodes from the start of the file pays for the 49 chunks
# before the fiftieth.
#
# The clip is made here with ffmpeg (never kept): testsrc2, 25 frames a second, H.264 with
# B-frames and a key frame every second, 50 chunks long.
#
#   bench/cli/chunks.sh [BUILD_DIR] [CHUNK_FRAMES] [SIZE]     e.g. bench/cli/chunks.sh build 250 320x180
#   THREEWAY=path/to/threeway times another build of the tool; RUNS=n sets hyperfine's runs (default 5).
set -euo pipefail
build=${1:-build}
chunk=${2:-250}
size=${3:-320x180}
tool=${THREEWAY:-$build/bin/threeway}
[ -x "$tool" ] || { echo "chunks.sh: no $tool (build the threeway target first)" >&2; exit 1; }
tool=$(realpath "$tool")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
frames=$((50 * chunk))
ffmpeg -nostdin -v error -f lavfi -i "testsrc2=size=$size:rate=25" -frames:v "$frames" \
  -c:v libx264 -preset veryfast -g 25 -pix_fmt yuv420p "$work/clip.mp4"

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "clip: $frames frames of $size H.264 (key frame every 25), $(du -h "$work/clip.mp4" | cut -f1); chunks of $chunk frames"
first="0-$((chunk - 1))"
fiftieth="$((49 * chunk))-$((50 * chunk - 1))"
hyperfine --warmup 1 --runs "${RUNS:-5}" --export-csv "$work/times.csv" \
  -n "chunk 1 (frames $first)" "'$tool' grade '$work/clip.mp4' '$work/first.mp4' -y --frames $first --no-audio" \
  -n "chunk 50 (frames $fiftieth)" "'$tool' grade '$work/clip.mp4' '$work/fiftieth.mp4' -y --frames $fiftieth --no-audio"

# Medians from hyperfine's table (command,mean,stddev,median,user,system,min,max).
awk -F, 'NR == 2 { a = $4 } NR == 3 { b = $4 }
  END {
    ratio = b / a
    printf "median: chunk 1 %.3f s, chunk 50 %.3f s; chunk 50 / chunk 1 = %.2f: %s\n", a, b, ratio,
           (ratio <= 1.2 && ratio >= 1 / 1.2) ? "the same within 20 %" : "NOT within 20 %"
  }' "$work/times.csv"
