#!/usr/bin/env bash
# Renderer benchmarks side by side: builds the scene programs (Corvex, the single-draw limit and
# whichever of SFML, SDL 2 and Allegro 5 are installed), runs them interleaved under one Xvfb for
# several rounds, and prints each program's median frame (median and best round) and the ratios;
# then the sandbox's frame with 300 and 600 boxes.
#
#   scripts/bench-render.sh [ROUNDS]      (BUILD=dir to choose the build directory)
#   BENCH_SANDBOX=0 leaves the sandbox out; GALLIUM_NOOP=1 (Mesa's no-op rasteriser) measures what
#   the programs and the driver spend without the pixels.
set -eu
cd "$(dirname "$0")/.."
rounds=${1:-5}
build=${BUILD:-build-bench}

if [ "${BENCH_RENDER_INNER:-}" != 1 ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVEX_BENCHMARKS=ON >/dev/null
    targets="render_bench_corvex render_bench_single"
    [ "${BENCH_SANDBOX:-1}" = 0 ] || targets="$targets physbox_bench"
    for peer in sfml sdl allegro; do
        if ninja -C "$build" -t targets all 2>/dev/null | grep -q "^render_bench_$peer:"; then
            targets="$targets render_bench_$peer"
        fi
    done
    nice ninja -C "$build" $targets
    BENCH_RENDER_INNER=1 BUILD="$build" exec scripts/with-xvfb.sh "$0" "$rounds"
fi

dir="$build/draw2d/gl/bench"
programs=""
for p in corvex sfml sdl allegro single; do
    [ -x "$dir/render_bench_$p" ] && programs="$programs $p"
done
cases=("sprites 10000 32 20" "sprites 10000 4 60" "text 5 300" "text 25 150")
results=$(mktemp)
trap 'rm -f "$results"' EXIT

echo "renderer: $("$dir/render_bench_single" text 1 6 | sed -n 's/^renderer //p')"
echo "machine: $(nproc) cores, $(sed -n 's/^model name[^:]*: //p' /proc/cpuinfo | head -1)"
for round in $(seq 1 "$rounds"); do
    for c in "${cases[@]}"; do
        for p in $programs; do
            ms=$("$dir/render_bench_$p" $c 2>/dev/null | sed -n 's/^median_ms //p')
            echo "$c|$p|${ms:-fail}" >>"$results"
        done
    done
    echo "round $round of $rounds done" >&2
done

median() { sort -g | awk '{ v[NR] = $1 } END { if (NR) print v[int((NR + 1) / 2)]; else print "n/a" }'; }
best() { sort -g | awk 'NR == 1 { print $1 } END { if (!NR) print "n/a" }'; }
ratio() { if [ -n "$1" ] && [ -n "$2" ]; then awk "BEGIN { printf \"%.2f\", $1 / $2 }"; else echo n/a; fi; }

# One table per statistic over the rounds: the median, and the best round (the shared machine
# only ever adds time, so the best round is the least disturbed one).
for stat in median best; do
    printf '\n%-22s' "scene ($stat ms)"
    for p in $programs; do printf '%12s' "$p"; done
    printf '%14s%14s\n' "best peer/cx" "cx/single"
    for c in "${cases[@]}"; do
        label=$(echo "$c" | awk '{ print $1 " " $2 ($1 == "sprites" ? " @" $3 "px" : " lines") }')
        printf '%-22s' "$label"
        corvex=""; single=""; top=""
        for p in $programs; do
            m=$(grep -F "$c|$p|" "$results" | cut -d'|' -f3 | grep -v -e n/a -e fail | $stat)
            printf '%12s' "$m"
            [ "$m" = n/a ] && continue
            case $p in
                corvex) corvex=$m ;;
                single) single=$m ;;
                *) if [ -z "$top" ] || awk "BEGIN { exit !($m < $top) }"; then top=$m; fi ;;
            esac
        done
        printf '%14s%14s\n' "$(ratio "$top" "$corvex")" "$(ratio "$corvex" "$single")"
    done
done

[ "${BENCH_SANDBOX:-1}" = 0 ] && exit 0
echo
echo "sandbox frame (physbox_bench, ms of real time):"
sandbox_out=$(mktemp)
if (cd "$build/game" && ./physbox_bench --benchmark_filter='WholeFrame|PacedFrame|DrawAndFlipOnly') \
    >"$sandbox_out" 2>&1; then
    grep -E '^BM_' "$sandbox_out"
else
    echo "physbox_bench failed:"
    tail -5 "$sandbox_out"
fi
rm -f "$sandbox_out"
