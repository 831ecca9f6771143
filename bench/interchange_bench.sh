#!/usr/bin/env bash
# Import and export of the largest corpus scene (FlightHelmet, ~95k triangles) by the
# `vorlan` program against Assimp's own command-line tool on the same file:
#   - vorlan export FILE out.zef   (read through Assimp, scene model, scene exporter)
#   - vorlan convert FILE out.glb  (read through Assimp, scene model, glTF writer)
#   - assimp export FILE out.glb   (Assimp alone, the baseline)
# Each command runs RUNS times; the median wall time is reported with its ratio to the
# baseline.
#
#   bench/interchange_bench.sh [BUILD_DIR] [RUNS]
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
runs="${2:-7}"
vorlan="$build/bin/vorlan"
scene="${VORLAN_BENCH_SCENE:-$root/tests/assets/gltf/FlightHelmet/FlightHelmet.gltf}"

for tool in "$vorlan" assimp; do
  command -v "$tool" >/dev/null 2>&1 || { echo "interchange_bench: $tool not found (build vorlan; install assimp-utils)" >&2; exit 2; }
done
[ -f "$scene" ] || { echo "interchange_bench: no scene at $scene" >&2; exit 2; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state"

# Median wall time in milliseconds of a command run $runs times (after one warm-up run).
median_ms() {
  "$@" >/dev/null 2>&1
  local times=()
  for _ in $(seq "$runs"); do
    local start end
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s%N)
    times+=($(((end - start) / 1000000)))
  done
  printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {print a[int((NR + 1) / 2)]}'
}

base=$(median_ms assimp export "$scene" "$work/assimp.glb")
zef=$(median_ms "$vorlan" --log-dir "$work/logs" export "$scene" "$work/vorlan.zef" --yes)
glb=$(median_ms "$vorlan" --log-dir "$work/logs" convert "$scene" "$work/vorlan.glb")

echo "scene: $scene ($runs runs each, median wall time)"
printf '%-28s %8s ms\n' "assimp export -> .glb" "$base"
printf '%-28s %8s ms   ratio %s\n' "vorlan export -> .zef" "$zef" "$(awk -v a="$zef" -v b="$base" 'BEGIN {printf "%.2f", a / b}')"
printf '%-28s %8s ms   ratio %s\n' "vorlan convert -> .glb" "$glb" "$(awk -v a="$glb" -v b="$base" 'BEGIN {printf "%.2f", a / b}')"
