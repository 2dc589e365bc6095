#!/usr/bin/env bash
# Frames per second on the same frames (default 30 frames of 1920x1080 testsrc2, raw BGRA, the
# layout the filter declares in ffmpeg):
#   1. ffmpeg reading the frames, no filter (the floor: reading and format handling);
#   2. ffmpeg with our frei0r filter and a busy panel;
#   3. the same on the frames as raw RGBA with the filter made to take RGBA (two swaps a frame);
#   4. ffmpeg with its own colorbalance + colorlevels + hue chain (a comparable grade);
#   5. `threeway grade` on the same frames as raw bgra with the same panel, when the tool has it.
# Usage: bench/frei0r/fps.sh [BUILD_DIR] [WIDTHxHEIGHT] [FRAMES]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
size=${2:-1920x1080}
frames=${3:-30}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export FREI0R_PATH="$build/frei0r"

ffmpeg -v error -f lavfi -i "testsrc2=s=$size:r=25" -frames:v "$frames" -f rawvideo -pix_fmt bgra -y "$work/clip.bgra"
ffmpeg -v error -f rawvideo -pix_fmt bgra -s "$size" -i "$work/clip.bgra" -f rawvideo -pix_fmt rgba -y "$work/clip.rgba"
panel=(MasterSaturation=0.35 ShadowBalanceMagnitude=0.4 ShadowBalanceAngle=0.3 HighlightHueAngle=0.6 MidtoneSaturation=0.8)
params=$("$build/bin/threeway-frei0r-table" --ffmpeg "${panel[@]}")
input=(-f rawvideo -pix_fmt bgra -s "$size" -i "$work/clip.bgra")

# ffmpeg -benchmark prints "bench: utime=...s stime=...s rtime=...s"; fps from the real time.
run_ffmpeg() {
  local label=$1; shift
  local line
  line=$(ffmpeg -hide_banner -nostdin -benchmark "${input[@]}" "$@" -f null - 2>&1 | grep 'bench: utime')
  local rtime=${line##*rtime=}; rtime=${rtime%s}
  printf '%-44s %8.1f fps   (%s)\n' "$label" "$(echo "$frames / $rtime" | bc -l)" "$line"
}

echo "$frames frames of $size, $(nproc) cores, $(lscpu | sed -n 's/^Model name: *//p')"
run_ffmpeg "ffmpeg, no filter" -pix_fmt bgra
run_ffmpeg "ffmpeg, frei0r=threeway (busy panel)" -vf "frei0r=threeway:$params" -pix_fmt bgra
input=(-f rawvideo -pix_fmt rgba -s "$size" -i "$work/clip.rgba")
THREEWAY_FREI0R_LAYOUT=rgba run_ffmpeg "ffmpeg, frei0r=threeway on RGBA frames" \
  -vf "frei0r=threeway:$params" -pix_fmt rgba
run_ffmpeg "ffmpeg, colorbalance+colorlevels+hue" \
  -vf "colorbalance=rs=0.1:bh=-0.1,colorlevels=rimin=0.02:gimin=0.02:bimin=0.02,hue=s=0.7" -pix_fmt rgba
run_ffmpeg "ffmpeg, same chain, single-threaded" -filter_threads 1 \
  -vf "colorbalance=rs=0.1:bh=-0.1,colorlevels=rimin=0.02:gimin=0.02:bimin=0.02,hue=s=0.7" -pix_fmt rgba
input=(-f rawvideo -pix_fmt bgra -s "$size" -i "$work/clip.bgra")

tool="$build/bin/threeway"
if [[ -x "$tool" ]] && "$tool" grade --help >/dev/null 2>&1; then
  sets=(--set MasterSaturation=70 --set ShadowBalanceMagnitude=40 --set ShadowBalanceAngle=-72
        --set HighlightHueAngle=36 --set MidtoneSaturation=160)
  start=$(date +%s.%N)
  "$tool" grade "$work/clip.bgra" "$work/graded.bgra" --raw-in bgra "$size" --raw-out bgra "${sets[@]}"
  end=$(date +%s.%N)
  printf '%-44s %8.1f fps\n' "threeway grade (raw bgra in and out)" "$(echo "$frames / ($end - $start)" | bc -l)"
else
  echo "threeway grade: not available in $build/bin/threeway"
fi
