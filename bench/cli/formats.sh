#!/usr/bin/env bash
# What the host format costs: the primary grade of the same raw frames handed over as 8-bit
# ('bgra'), 16-bit ('Bgra') and float ('BGra') BGRA, timed by hyperfine in one run, one thread,
# output to /dev/null. The 16-bit and float frames are the 8-bit ones converted by the tool itself
# (a neutral grade), so the three runs grade the same pictures; the files are two and four times
# the size, so reading them costs more too. Printed: medians, CPU times and each format's CPU time
# over the 8-bit one.
#
#   bench/cli/formats.sh [BUILD_DIR] [SIZE] [FRAMES]        e.g. bench/cli/formats.sh build 1920x1080 30
#   RUNS=n sets hyperfine's runs (default 5).
set -euo pipefail
build=${1:-build}
size=${2:-1920x1080}
frames=${3:-30}
tool="$build/bin/threeway"
[ -x "$tool" ] || { echo "formats.sh: no $tool (build the threeway target first)" >&2; exit 1; }
tool=$(realpath "$tool")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ffmpeg -nostdin -v error -f lavfi -i "testsrc2=size=$size:rate=25" -frames:v "$frames" -f rawvideo -pix_fmt bgra "$work/frames.bgra"
for code in Bgra BGra; do
  "$tool" grade --raw-in bgra "$size" "$work/frames.bgra" --raw-out "$code" "$work/frames.$code"
done

primary=(--set ShadowBalanceAngle=200 --set ShadowBalanceMagnitude=30 --set MidtoneBalanceAngle=45
         --set MidtoneBalanceMagnitude=20 --set HighlightBalanceAngle=100 --set HighlightBalanceMagnitude=25
         --set MasterInputBlackLevel=10 --set MasterInputGrayLevel=1.3 --set MasterInputWhiteLevel=240
         --set MasterSaturation=115 --set MasterHueAngle=8)
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), load $(cut -d' ' -f1-3 /proc/loadavg)"
commands=()
for code in bgra Bgra BGra; do
  commands+=(-n "$code" "'$tool' grade --raw-in $code $size '$work/frames.$code' --raw-out $code - --threads 1 ${primary[*]} > /dev/null")
done
hyperfine --warmup 1 --runs "${RUNS:-5}" --export-csv "$work/times.csv" "${commands[@]}"

# hyperfine's table: command,mean,stddev,median,user,system,min,max.
awk -F, -v frames="$frames" -v size="$size" '
  NR > 1 { median[$1] = $4; cpu[$1] = $5 + $6; order[++n] = $1 }
  END {
    printf "%d frames of %s, primary grade, one thread:\n", frames, size
    for (i = 1; i <= n; ++i) {
      c = order[i]
      printf "  %-5s %6.2f s wall %6.1f fps %6.2f s CPU  (CPU %.2f x the 8-bit format)\n", c, median[c],
             frames / median[c], cpu[c], cpu[c] / cpu["bgra"]
    }
  }' "$work/times.csv"
