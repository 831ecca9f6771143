#!/usr/bin/env bash
# Production-size scenes: a generated OBJ of 1M and 4M triangles (100 objects, 5 materials,
# texture coordinates and normals) through `vorlan` beside Assimp's own tool, in one run.
# For each size: wall time and peak memory of
#   assimp info X.obj            assimp export X.obj X.glb
#   vorlan convert X.obj X.vscene / X.vscb / X.glb
#   vorlan export X.obj X.zef    vorlan export X.vscene X.zef
# and the sizes of the document (JSON + buffer), the single file and the .glb; the bytes of
# the scene's arrays in memory (bench/scene_array_bytes on the document) and each command's
# peak memory as a multiple of them; last the growth exponent of `convert X.obj X.glb` from
# 1M to 4M, of its wall time and of its user CPU time. Every command runs SCALE_RUNS times
# (default 3); its fastest time, that run's user CPU time and the largest peak are shown.
#
#   bench/scale_bench.sh [BUILD_DIR] [SIZES...]      (sizes in triangles; default 1000000 4000000)
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
shift || true
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(1000000 4000000)
vorlan="$build/bin/vorlan"
arrayBytes="$build/bench/scene_array_bytes"
for tool in "$vorlan" "$arrayBytes" assimp python3 /usr/bin/time; do
  command -v "$tool" >/dev/null 2>&1 || { echo "scale_bench: $tool not found" >&2; exit 2; }
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state"

# A grid of quads per object, materials in turn.
generate() {
  python3 - "$1" "$2" <<'PY'
import math, sys
tris, path = int(sys.argv[1]), sys.argv[2]
objects, mats = 100, 5
n = max(1, int(math.sqrt(tris / objects / 2)))
with open(path, "w") as f:
    f.write("mtllib x.mtl\n")
    base = 1
    out = []
    for o in range(objects):
        out.append("o part%d\nusemtl m%d\n" % (o, o % mats))
        ox = (o % 10) * (n + 2)
        oy = (o // 10) * (n + 2)
        for j in range(n + 1):
            for i in range(n + 1):
                out.append("v %d %d %.3f\nvt %.5f %.5f\nvn 0 0 1\n" % (ox + i, oy + j, math.sin(i * 0.1) * math.cos(j * 0.1), i / n, j / n))
        for j in range(n):
            for i in range(n):
                a = base + j * (n + 1) + i
                b, c, d = a + 1, a + n + 2, a + n + 1
                out.append("f %d/%d/%d %d/%d/%d %d/%d/%d\nf %d/%d/%d %d/%d/%d %d/%d/%d\n" % (a, a, a, b, b, b, c, c, c, a, a, a, c, c, c, d, d, d))
        base += (n + 1) * (n + 1)
        if len(out) > 100000:
            f.write("".join(out)); out = []
    f.write("".join(out))
PY
}

# "seconds peak-MB user-seconds" of one command, run $runs times: the fastest time with the
# user CPU time of that run, and the largest peak. A single run of a large command can take
# half as long again when the system is slow to hand out fresh memory, which no one run tells
# apart from the program's own cost; the user time is the program's own work alone.
runs="${SCALE_RUNS:-3}"
measure() {
  local best="" user="" peak=0 i
  for ((i = 0; i < runs; ++i)); do
    /usr/bin/time -f "%e %M %U" -o "$work/time" "$@" >/dev/null 2>"$work/err" || { echo "failed: $*" >&2; cat "$work/err" >&2; exit 1; }
    read -r t m u <"$work/time"
    if [ -z "$best" ] || awk -v a="$t" -v b="$best" 'BEGIN {exit !(a < b)}'; then best="$t" user="$u"; fi
    [ "$m" -gt "$peak" ] && peak="$m"
  done
  awk -v t="$best" -v m="$peak" -v u="$user" 'BEGIN {printf "%s %.0f %s", t, m / 1024, u}'
}

printf '%-10s %-34s %9s %9s %9s %12s %8s\n' triangles command seconds peak-MB user-s bytes x-arrays
declare -A glbTime glbUser
for tris in "${sizes[@]}"; do
  dir="$work/$tris"
  mkdir -p "$dir"
  generate "$tris" "$dir/x.obj"
  printf 'newmtl m0\nKd 1 0 0\nnewmtl m1\nKd 0 1 0\nnewmtl m2\nKd 0 0 1\nnewmtl m3\nKd 1 1 0\nnewmtl m4\nKd 0 1 1\n' >"$dir/x.mtl"
  # The document first: the scene's array bytes come from it and every row is set against them.
  scene="$(measure "$vorlan" --log-dir "$work/logs" convert "$dir/x.obj" "$dir/x.vscene")"
  arrays="$("$arrayBytes" "$dir/x.vscene")"
  row() {
    local ratio="" t m u
    read -r t m u <<<"$2"
    [ "$m" != "-" ] && ratio="$(awk -v mb="$m" -v a="$arrays" 'BEGIN {printf "%.2f", mb * 1048576 / a}')"
    printf '%-10s %-34s %9s %9s %9s %12s %8s\n' "$tris" "$1" "$t" "$m" "$u" "${3:-}" "$ratio"
  }
  row "(obj)" "- - -" "$(stat -c %s "$dir/x.obj")"
  row "(scene arrays in memory)" "- - -" "$arrays"
  row "assimp info" "$(measure assimp info "$dir/x.obj")"
  row "assimp export -> .glb" "$(measure assimp export "$dir/x.obj" "$dir/assimp.glb")" "$(stat -c %s "$dir/assimp.glb")"
  row "vorlan convert -> .vscene" "$scene" "$(($(stat -c %s "$dir/x.vscene") + $(stat -c %s "$dir/x.vbin" 2>/dev/null || echo 0)))"
  row "vorlan convert -> .vscb" "$(measure "$vorlan" --log-dir "$work/logs" convert "$dir/x.obj" "$dir/x.vscb")" "$(stat -c %s "$dir/x.vscb")"
  glb="$(measure "$vorlan" --log-dir "$work/logs" convert "$dir/x.obj" "$dir/x.glb")"
  glbTime[$tris]="${glb%% *}"
  glbUser[$tris]="${glb##* }"
  row "vorlan convert -> .glb" "$glb" "$(stat -c %s "$dir/x.glb")"
  row "vorlan export .obj -> .zef" "$(measure "$vorlan" --log-dir "$work/logs" export "$dir/x.obj" "$dir/a.zef" --yes)"
  row "vorlan export .vscene -> .zef" "$(measure "$vorlan" --log-dir "$work/logs" export "$dir/x.vscene" "$dir/b.zef" --yes)"
  row "vorlan export .vscb -> .zef" "$(measure "$vorlan" --log-dir "$work/logs" export "$dir/x.vscb" "$dir/c.zef" --yes)"
  cmp -s "$dir/a.zef" "$dir/b.zef" && cmp -s "$dir/a.zef" "$dir/c.zef" || echo "scale_bench: the .zef differs by route at $tris" >&2
  rm -f "$dir"/*.glb "$dir"/*.zef "$dir"/*.vscb
done
if [ ${#sizes[@]} -ge 2 ]; then
  a=${sizes[0]} b=${sizes[${#sizes[@]}-1]}
  awk -v ta="${glbTime[$a]}" -v tb="${glbTime[$b]}" -v ua="${glbUser[$a]}" -v ub="${glbUser[$b]}" -v a="$a" -v b="$b" \
    'BEGIN {printf "growth exponent of convert -> .glb from %d to %d triangles: %.2f (wall), %.2f (user CPU)\n",
            a, b, log(tb / ta) / log(b / a), log(ub / ua) / log(b / a)}'
fi
