#!/usr/bin/env bash
# Generates the seed corpus and runs every fuzz target for a bounded time.
# Usage: fuzz/run-all.sh BUILD_DIR   (a tree configured with -DCORVEX_FUZZ=ON and built with
# --target fuzz_all). Exits non-zero when any target finds a crash, a leak or a timeout.
# FUZZ_SECONDS (default 30) sets the time per target.
set -u
build=${1:?usage: run-all.sh BUILD_DIR}
seconds=${FUZZ_SECONDS:-30}
bin="$build/fuzz"
work="$build/fuzz-work"
rm -rf "$work"
mkdir -p "$work/artifacts"
"$bin/fuzz_seeds" "$work/seeds" || { echo "fuzz: seed generation failed" >&2; exit 1; }
"$bin/fuzz_audio_seeds" "$work/seeds" || { echo "fuzz: audio seed generation failed" >&2; exit 1; }

# Replication packets: a welcome, an object opened with one slot of each type, a message, a close.
mkdir -p "$work/seeds/replication"
printf '\x01\x02\x00' >"$work/seeds/replication/welcome"
printf '\x02\x01\x00\x07\x00\x00\x00\x03\x01\x00\x01\x00\x07\x07\x01\x2a\x00\x00\x00\x02\x00\x00\x80\x3f\x03\x02\x00hi' \
    >"$work/seeds/replication/object"
printf '\x05\x02\x00\x01\x00\x07\x00\x00\x00\x03\x00abc\x04\x01\x00\x07\x00\x00\x00' >"$work/seeds/replication/message"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
failed=()
# Fonts are never kept in the tree: the font target starts from the faces fonts-dejavu-core installs.
mkdir -p "$work/seeds/font"
cp /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf /usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf \
    "$work/seeds/font/" 2>/dev/null || true
for target in load_pixmap png jpeg bmp tga text wav ogg font replication; do
    seeds="$work/seeds/$target"
    [ "$target" = load_pixmap ] && seeds="$work/seeds/all"
    max_len=16384
    [ "$target" = font ] && max_len=1048576
    corpus="$work/corpus-$target"
    mkdir -p "$corpus"
    echo "== fuzz_$target (${seconds}s)"
    if ! "$bin/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
            -max_len=$max_len -print_final_stats=1 -artifact_prefix="$work/artifacts/$target-" \
            "$corpus" "$seeds" >"$work/$target.log" 2>&1; then
        failed+=("$target")
        tail -n 60 "$work/$target.log"
    else
        grep -E "^(Done|stat::number_of_executed_units)" "$work/$target.log" || true
    fi
done
if [ ${#failed[@]} -ne 0 ]; then
    echo "fuzz: failures in ${failed[*]} (artifacts in $work/artifacts)" >&2
    exit 1
fi
echo "fuzz: all targets clean"
