#!/usr/bin/env bash
# Wall time of `threeway grade` on multi-frame 1920x1080 raw input with 1, 2, ... worker threads,
# measured with hyperfine (installed by scripts/setup). Raw frames keep the file work small, so
# the times are the rendering's. The panel is a busy grade without levels: balances, saturation
# and a softened qualifier.
#
#   bench/cli/threads.sh [BUILD_DIR] [FRAMES] [THREADS...]
#   e.g. bench/cli/threads.sh build 24 1 2
set -euo pipefail
build=${1:-build}
frames=${2:-24}
shift $(( $# > 2 ? 2 : $# )) || true
threads=("$@")
((${#threads[@]})) || threads=(1 "$(nproc)")
tool="$build/bin/threeway"
[ -x "$tool" ] || { echo "threads.sh: no $tool (build the threeway target first)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Different content in every frame (random bytes, alpha included).
head -c $((1920 * 1080 * 4 * frames)) /dev/urandom > "$work/in.raw"

panel="--set MasterSaturation=120 --set ShadowBalanceAngle=200 --set ShadowBalanceMagnitude=30"
panel+=" --set MidtoneBalanceAngle=220 --set MidtoneBalanceMagnitude=20 --set HighlightBalanceAngle=215"
panel+=" --set HighlightBalanceMagnitude=35 --set MasterHueAngle=5 --set SatStartThreshold=20"
panel+=" --set SatStartSoftness=10 --set Soften=10 --set EdgeThinning=20"

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "input: $frames frames of 1920x1080 bgra (raw)"
commands=()
for n in "${threads[@]}"; do
  commands+=(-n "threads $n" "'$tool' grade '$work/in.raw' '$work/out$n.raw' --raw-in bgra 1920x1080 --raw-out bgra --threads $n $panel")
done
hyperfine --warmup 1 --runs "${RUNS:-5}" "${commands[@]}"
# The outputs agree whatever the thread count.
for n in "${threads[@]}"; do cmp "$work/out${threads[0]}.raw" "$work/out$n.raw"; done
echo "outputs identical for threads ${threads[*]}"
