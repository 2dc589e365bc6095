#!/usr/bin/env bash
# How close a baked LUT comes to the effect itself: `threeway lut` bakes a look at 17, 33 and 65
# points, and the LUT applied to the built-in test card (1920x1080) is compared with
# `threeway grade` of the same card with the same panel, in 16-bit (the card as it is) and in 8-bit
# (the card rounded to 8 bits, graded and looked up in 8 bits). Appliers: ffmpeg's lut3d
# (tetrahedral), OpenImageIO's --ociofiletransform and the look of the --ocio config through
# --ociolook (tetrahedral; --ociofiletransform gave the same pixels here, and the look set to
# linear other ones). Differences are oiiotool --diff's
# mean and maximum over every channel of every pixel, in codes of the output's depth.
#
#   bench/cli/lut.sh [BUILD_DIR]
#
# Looks: the demo's (scripts/demo-look; its moved levels make the grade dither, so its first row is
# the grade against a second grade of the card, the floor no LUT can go below) and a strong one
# (large balances, hue rotations, saturation and gamma; levels untouched, so nothing dithers).
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
tool="$(cd "$build" && pwd)/bin/threeway"
[ -x "$tool" ] || { echo "lut.sh: no $tool (build first)" >&2; exit 1; }
source scripts/demo-look

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

strong_look=(
  --set MasterSaturation=170 --set MidtoneSaturation=130
  --set ShadowBalanceAngle=190 --set ShadowBalanceMagnitude=70 --set ShadowHueAngle=-20
  --set MidtoneBalanceAngle=110 --set MidtoneBalanceMagnitude=40 --set MidtoneHueAngle=25
  --set HighlightBalanceAngle=40 --set HighlightBalanceMagnitude=60 --set HighlightHueAngle=15
  --set MasterInputGrayLevel=1.8 --set ShadowSoftness=40 --set HighlightSoftness=40
)

"$tool" testcard card16.png
oiiotool card16.png -d uint8 -o card8.png
# The demo's press acts on the card: keep its outcome as a preset that both depths then use.
"$tool" grade card16.png demo-preset.png "${demo_look[@]}" --save-preset demo.json
"$tool" grade card16.png strong-preset.png "${strong_look[@]}" --save-preset strong.json

# "MEAN MAX" of oiiotool's comparison, in codes of `scale` (255 or 65535).
diff_codes() {
  oiiotool "$1" "$2" --diff 2>&1 | awk -v s="$3" '
    /Mean error/ { mean = $4 * s } /Max error/ { max = $4 * s }
    END { printf "%.3f %.2f", mean, max }' || true
}
row() {  # look, size, applier, 16-bit file, 8-bit file
  read -r m16 x16 <<< "$(diff_codes "$look.grade16.png" "$4" 65535)"
  read -r m8 x8 <<< "$(diff_codes "$look.grade8.png" "$5" 255)"
  printf '| %s | %s | %s | %s | %s | %s | %s |\n' "$1" "$2" "$3" "$m8" "$x8" "$m16" "$x16"
}

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "ffmpeg $(ffmpeg -version | head -1 | cut -d' ' -f3), $(oiiotool --help | sed -n 2p | cut -d' ' -f1-2), OpenColorIO $(dpkg-query -W -f='${Version}' opencolorio-tools)"
echo
echo "| look | points | applied by | 8-bit mean | 8-bit max | 16-bit mean | 16-bit max |"
echo "|---|---|---|---|---|---|---|"
for look in demo strong; do
  "$tool" grade card16.png "$look.grade16.png" --preset "$look.json"
  "$tool" grade card8.png "$look.grade8.png" --preset "$look.json"
  if [ "$look" = demo ]; then
    sleep 1  # another second: the dither generator is seeded from the clock
    "$tool" grade card16.png again16.png --preset demo.json
    "$tool" grade card8.png again8.png --preset demo.json
    row "$look" "-" "the grade again (its dither)" again16.png again8.png
  fi
  for size in 17 33 65; do
    lut="$look$size"
    start=$(date +%s.%N)
    "$tool" lut "$lut.cube" --preset "$look.json" --size "$size" --ocio 2>/dev/null
    bake=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { print b - a }')
    for depth in 16 8; do
      fmt=$([ $depth = 16 ] && echo rgb48be || echo rgb24)
      ffmpeg -nostdin -v error -y -i "card$depth.png" -vf "lut3d=file=$lut.cube:interp=tetrahedral" -pix_fmt "$fmt" \
        "$lut.ff$depth.png"
      oiiotool --colorconfig "$lut.ocio" "card$depth.png" --ociofiletransform "$lut.cube" -d "uint$depth" \
        -o "$lut.oft$depth.png"
      oiiotool --colorconfig "$lut.ocio" "card$depth.png" --ociolook:from=video:to=video "$lut" -d "uint$depth" \
        -o "$lut.look$depth.png"
    done
    row "$look" "$size" "ffmpeg lut3d, tetrahedral" "$lut.ff16.png" "$lut.ff8.png"
    row "$look" "$size" "oiiotool --ociofiletransform" "$lut.oft16.png" "$lut.oft8.png"
    row "$look" "$size" "oiiotool --ociolook (tetrahedral)" "$lut.look16.png" "$lut.look8.png"
    printf '%s at %s points: baked in %.2f s\n' "$look" "$size" "$bake" >&2
  done
done
