#!/usr/bin/env bash
# `threeway grade` against a comparable ffmpeg filter chain on the same raw frames, and where the
# tool's time goes.
#
# 1. Speed (hyperfine, the commands of one frame size in one run, 1 and 2 threads): raw 'bgra'
#    frames of ffmpeg's testsrc2 (60 at 1920x1080, 10 at 3840x2160), graded by
#      threeway grade --raw-in bgra WxH FILE --raw-out bgra - --threads N <panel> > /dev/null
#    and filtered by
#      ffmpeg -filter_threads N -f rawvideo -pix_fmt bgra -s WxH -i FILE -vf <chain> -f null -
#    Printed: median wall times, frames per second, CPU times, and per thread count the ratio of
#    the primary grade's speed to the ffmpeg chain's.
# 2. Profile (valgrind's callgrind: instructions, which a machine shared with other jobs does not
#    disturb): a few 1080p frames graded on one thread, and each stage's share of the run's
#    instructions, from the inclusive costs of the functions that make it up.
#
# The panels. "primary": the three ranges' balances (bench_render's busy grade: shadows 200 degrees
# at 30, midtones 45 at 20, highlights 100 at 25), input levels 10 / 1.3 / 240, saturation 115,
# master hue 8 degrees. "busy": the primary grade and a soft hue, saturation and luma qualifier
# with edge thinning 25 and Soften 10. The ffmpeg chain (colour balance of the three ranges, input
# levels, saturation and hue) is a comparable grade, not the same one.
#
#   bench/cli/versus_ffmpeg.sh [BUILD_DIR]
#   RUNS=n (hyperfine's runs, default 5), HD_FRAMES, UHD_FRAMES, PROFILE_FRAMES (default 60, 10, 3);
#   SKIP_SPEED=1 or SKIP_PROFILE=1 leaves a part out.
# Needs ffmpeg, hyperfine and valgrind (scripts/setup installs them).
set -euo pipefail
build=${1:-build}
tool="$build/bin/threeway"
[ -x "$tool" ] || { echo "versus_ffmpeg.sh: no $tool (build the threeway target first)" >&2; exit 1; }
tool=$(realpath "$tool")
module=$(realpath "$build/plugins/ThreeWayColorCorrector.so")

primary=(--set ShadowBalanceAngle=200 --set ShadowBalanceMagnitude=30 --set MidtoneBalanceAngle=45
         --set MidtoneBalanceMagnitude=20 --set HighlightBalanceAngle=100 --set HighlightBalanceMagnitude=25
         --set MasterInputBlackLevel=10 --set MasterInputGrayLevel=1.3 --set MasterInputWhiteLevel=240
         --set MasterSaturation=115 --set MasterHueAngle=8)
busy=("${primary[@]}"
      --set HueStartThreshold=20 --set HueStartSoftness=10 --set HueEndThreshold=60 --set HueEndSoftness=10
      --set SatStartThreshold=10 --set SatStartSoftness=10 --set SatEndThreshold=80 --set SatEndSoftness=10
      --set LumaStartThreshold=15 --set LumaStartSoftness=10 --set LumaEndThreshold=85 --set LumaEndSoftness=10
      --set EdgeThinning=25 --set Soften=10)
chain="colorbalance=rs=0.1:gm=-0.05:bh=0.1,colorlevels=rimin=0.04:gimin=0.04:bimin=0.04:rimax=0.94:gimax=0.94:bimax=0.94,hue=s=1.15:h=8"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

frames_of() {  # SIZE FRAMES FILE
  ffmpeg -nostdin -v error -f lavfi -i "testsrc2=size=$1:rate=25" -frames:v "$2" -f rawvideo -pix_fmt bgra "$3"
}

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "tool: $tool"

# --- 1. Speed ----------------------------------------------------------------------------------

# One hyperfine run over the commands of one frame size; then the medians as frames per second
# and, per thread count, the ffmpeg chain's time over the primary grade's.
speed() {  # SIZE FRAMES WITH_BUSY
  local size=$1 frames=$2 with_busy=$3 file="$work/frames-$1.bgra"
  frames_of "$size" "$frames" "$file"
  local commands=()
  for n in 1 2; do
    commands+=(-n "threeway primary (threads $n)"
               "'$tool' grade --raw-in bgra $size '$file' --raw-out bgra - --threads $n ${primary[*]} > /dev/null"
               -n "ffmpeg chain (threads $n)"
               "ffmpeg -nostdin -v error -filter_threads $n -threads $n -f rawvideo -pix_fmt bgra -s $size -i '$file' -vf '$chain' -f null -")
    if [[ $with_busy == 1 ]]; then
      commands+=(-n "threeway busy (threads $n)"
                 "'$tool' grade --raw-in bgra $size '$file' --raw-out bgra - --threads $n ${busy[*]} > /dev/null")
    fi
  done
  echo
  echo "== $frames frames of $size bgra"
  hyperfine --warmup 1 --runs "${RUNS:-5}" --export-csv "$work/speed.csv" "${commands[@]}"
  echo
  echo "-- $frames frames of $size, medians of ${RUNS:-5} runs"
  # hyperfine's table: command,mean,stddev,median,user,system,min,max. On a machine shared with
  # other jobs the CPU time (user + system, means) is steadier than the wall time.
  awk -F, -v frames="$frames" '
    NR > 1 { median[$1] = $4; cpu[$1] = $5 + $6; order[++n] = $1 }
    END {
      for (i = 1; i <= n; ++i) {
        c = order[i]
        printf "%-32s %7.2f s wall %6.1f fps %7.2f s CPU\n", c, median[c], frames / median[c], cpu[c]
      }
      for (t = 1; t <= 2; ++t) {
        a = "threeway primary (threads " t ")"; b = "ffmpeg chain (threads " t ")"
        printf "threads %d: ratio %.2f by wall time, %.2f by CPU time (the primary grade'"'"'s speed over the ffmpeg chain'"'"'s)\n",
               t, median[b] / median[a], cpu[b] / cpu[a]
      }
    }' "$work/speed.csv"
}

if [[ -z ${SKIP_SPEED:-} ]]; then
  speed 1920x1080 "${HD_FRAMES:-60}" 1
  speed 3840x2160 "${UHD_FRAMES:-10}" 0
fi

# --- 2. Profile --------------------------------------------------------------------------------

# Stages and the functions whose inclusive instruction counts make them up:
#   pixmill conversions   PM_Convert (rows into and out of the working format, the mask's source rows)
#   correction            ProcessRowAvx2 / ProcessRowScalar (the per-pixel step, dither included),
#                         less the histogram count inlined into it
#   qualifier             the qualifier kernels (QualifierVariant<...>, GeneralQualifierKernel),
#                         hue's atan2f included, and ComputeMaskPlane's own loop (with Soften the
#                         mask is computed ahead of the pass)
#   softening             SoftenMask
#   histogram             the count (CountBins, HistogramBin) and FinishHistogram
#   Functions the compiler inlined are found instruction by instruction: callgrind's self cost of
#   each instruction of the module, placed in its (inlined) functions by addr2line.
#   I/O                   RawSource::Next and RawSink::Write (user-space instructions only: the
#                         kernel's copying for read and write is not counted)
#   the rest              start-up (loading the module, reading its registration resource), frame
#                         buffers, the tool's bookkeeping
profile() {  # NAME PANEL...
  local name=$1; shift
  local out="$work/$name.callgrind"
  valgrind --tool=callgrind --dump-instr=yes --dump-line=no --compress-strings=no --compress-pos=no --callgrind-out-file="$out" \
    "$tool" grade --raw-in bgra 1920x1080 "$work/profile.bgra" --raw-out bgra - --threads 1 "$@" > /dev/null 2> "$work/$name.log"
  callgrind_annotate --inclusive=yes --threshold=100 --auto=no "$out" > "$work/$name.functions" 2> /dev/null
  # Self costs of the module's instructions (a cost line right after calls= is the call's inclusive
  # cost, not the instruction's own), then the functions each address lies in, inlined ones included.
  awk -v module="$module" '
    /^ob=/ { inModule = (substr($0, 4) == module); next }
    /^calls=/ { skip = 1; next }
    /^0x/ { if (skip) { skip = 0; next } if (inModule) cost[$1] += $2; next }
    { skip = 0 }
    END { for (a in cost) print a, cost[a] }' "$out" > "$work/$name.costs"
  cut -d' ' -f1 "$work/$name.costs" | addr2line -a -f -i -C -e "$module" |
    awk 'NR == FNR { cost[$1] = $2; next }
         /^0x/ { address = $0; sub(/^0x0*/, "0x", address); if (address == "0x") address = "0x0"; next }
         /CountBins|HistogramBin/ { if (!((address, 1) in seen)) { count += cost[address]; seen[address, 1] = 1 } }
         /FinishHistogram/ { if (!((address, 2) in seen)) { finish += cost[address]; seen[address, 2] = 1 } }
         /ComputeMaskPlane/ { if (!((address, 3) in seen)) { maskLoop += cost[address]; seen[address, 3] = 1 } }
         END { printf "%.0f %.0f %.0f\n", count, finish, maskLoop }' "$work/$name.costs" - > "$work/$name.inlined"
}

# Sums per stage from callgrind_annotate's function list (one line per function and source file;
# the largest line of a function is its inclusive cost).
stages() {  # NAME
  read -r count finish maskLoop < "$work/$1.inlined"
  awk -v count="$count" -v finish="$finish" -v maskLoop="$maskLoop" '
    /PROGRAM TOTALS/ { gsub(",", "", $1); total = $1 }
    /^ *[0-9,]+ \(/ && !/PROGRAM TOTALS/ {
      cost = $1; gsub(",", "", cost)
      name = $0; sub(/^ *[0-9,]+ +\( *[0-9.]+%\) +/, "", name); sub(/ \[[^]]*\]$/, "", name)
      sub(/^[^ (]*(\.[A-Za-z]+|\?\?\?):/, "", name)
      if (cost + 0 > best[name] + 0) best[name] = cost
    }
    END {
      for (f in best) {
        if (f == "PM_Convert") conv += best[f]
        else if (f ~ /^threeway::ProcessRow(Avx2|Scalar)\(/) rows += best[f]
        else if (f ~ /QualifierVariant<|GeneralQualifierKernel\(/) qual += best[f]
        else if (f ~ /^threeway::SoftenMask\(/) soft += best[f]
        else if (f ~ /RawSource::Next\(|RawSink::Write\(/) io += best[f]
      }
      corr = rows - count
      qual += maskLoop
      histogram = count + finish
      rest = total - conv - corr - qual - soft - histogram - io
      printf "%s %.0f %.0f %.0f %.0f %.0f %.0f %.0f %.0f\n", "'"$1"'", total, conv, corr, qual, soft, histogram, io, rest
    }' "$work/$1.functions"
}

if [[ -z ${SKIP_PROFILE:-} ]]; then
  frames=${PROFILE_FRAMES:-3}
  frames_of 1920x1080 "$frames" "$work/profile.bgra"
  echo
  echo "== profile: $frames frames of 1920x1080 bgra, one thread, instructions counted by callgrind"
  profile primary "${primary[@]}"
  profile busy "${busy[@]}"
  { stages primary; stages busy; } | awk '
    { for (i = 2; i <= 9; ++i) v[$1, i] = $i }
    END {
      split("total|pixmill conversions|correction (per-pixel step)|qualifier|softening|histogram|I/O (raw read and write)|the rest (start-up, buffers)", label, "|")
      printf "%-32s %22s %22s\n", "stage", "primary", "busy"
      for (i = 3; i <= 9; ++i)
        printf "%-32s %12.0f M %6.1f %% %12.0f M %6.1f %%\n", label[i - 1], v["primary", i] / 1e6, 100 * v["primary", i] / v["primary", 2],
               v["busy", i] / 1e6, 100 * v["busy", i] / v["busy", 2]
      printf "%-32s %12.0f M %8s %12.0f M\n", "whole run", v["primary", 2] / 1e6, "", v["busy", 2] / 1e6
    }'
fi
