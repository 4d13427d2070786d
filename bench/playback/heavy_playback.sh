#!/bin/sh
# Eight 1920x1080 H.265 channels at about 2.5 and about 20 Mbit/s each, played
# by `corvane play` in real time, beside ffmpeg decoding the same eight streams
# with two threads, one stream after another (all this machine can decode), in
# the same run. For each case it prints the player's JSON line, then the
# real-time factor, the skew between shown pictures, pictures shown and
# dropped per second of wall time, and ffmpeg's pictures per second, of all the
# pictures and of the part of each second the player showed.
#
# usage: bench/playback/heavy_playback.sh BUILD_DIR [SECONDS [BASELINE_BUILD_DIR]]
# BUILD_DIR is a Release build with bench_make_play_recording and corvane; the
# baseline's corvane (another build, say of the code before a change) plays the
# same recordings in the same run.
set -eu
build=$1
seconds=${2:-12}
baseline=${3:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

report() {
    json=$1
    echo "$json"
    # Sums of the per-channel lists and the scalar fields, from the JSON line.
    sum() {
        terms=$(echo "$json" | sed -n "s/.*\"$1\":\[\([0-9,]*\)\].*/\1/p" | tr ',' '+')
        echo "${terms:-0}" | bc
    }
    field() { echo "$json" | sed -n "s/.*\"$1\":\([0-9.]*\).*/\1/p"; }
    shown=$(sum pictures)
    channels=$(field channels)
    dropped=$(sum dropped)
    wall=$(field wall_seconds)
    media=$(field media_seconds)
    # The real-time factor follows the clock channel's picture on screen: a
    # run that ends while the channels drop the rest of a second to its next
    # key frame reads low by that part. The sound blocks (40 ms each in these
    # recordings) follow the clock itself.
    printf 'real-time factor %.3f (sound %.3f), max skew %s ms, peak RSS %s MB, CPU %.0f %%\n' \
        "$(echo "$media / $wall" | bc -l)" "$(echo "$(field audio_blocks) * 0.04 / $wall" | bc -l)" \
        "$(field max_skew_ms)" "$(field peak_rss_mb)" \
        "$(echo "100 * $(field cpu_seconds) / $wall" | bc -l)"
    printf 'pictures shown %.1f/s, dropped %.1f/s; ffmpeg -threads 2 decodes %.1f/s; shown / ffmpeg %.2f\n' \
        "$(echo "$shown / $wall" | bc -l)" "$(echo "$dropped / $wall" | bc -l)" "$ffmpeg_pps" \
        "$(echo "$shown / $wall / $ffmpeg_pps" | bc -l)"

    # A channel that sheds work shows a key frame and the pictures after it
    # as far as it gets each second, and drops the rest: ffmpeg decodes the
    # same part of every second of the stream, so that the player's own
    # overhead shows apart from the cost of the pictures it chose. (Key frames
    # cost more than the pictures after them, and with this encoder the
    # first pictures of a second are larger than the last.)
    keep=$(printf '%.0f' "$(echo "$shown / $channels / $wall" | bc -l)")
    if [ "$keep" -ge 1 ] && [ "$keep" -lt 25 ]; then
        ffmpeg -nostdin -hide_banner -loglevel error -y -i "$work/channel.h265" -c copy \
            -bsf:v "noise=drop=gte(mod(n\\,25)\\,$keep)" -f hevc "$work/shown.h265"
        same_pps=$(ffmpeg_rate "$work/shown.h265")
        printf 'ffmpeg -threads 2 on the same pictures (the first %s of each second) decodes %.1f/s; shown / that %.2f\n' \
            "$keep" "$same_pps" "$(echo "$shown / $wall / $same_pps" | bc -l)"
    fi
}

# Pictures per second ffmpeg decodes of FILE with two threads, eight times
# over (one per channel), one after another.
ffmpeg_rate() {
    start=$(date +%s.%N)
    for c in 1 2 3 4 5 6 7 8; do
        ffmpeg -nostdin -hide_banner -loglevel error -threads 2 -i "$1" -f null -
    done
    end=$(date +%s.%N)
    frames=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames \
        -of csv=p=0 "$1")
    echo "$frames * 8 / ($end - $start)" | bc -l
}

# The quality that gives each bit rate with the benchmark's picture.
for case in ${CASES:-2.5:24 20:20}; do
    rate=${case%%:*}
    crf=${case##*:}
    dir="$work/$rate"
    echo "== 8 x 1920x1080 H.265, about $rate Mbit/s per channel (crf $crf)"
    "$build/bin/bench_make_play_recording" "$dir" --channels 8 --seconds $((seconds + 4)) --width 1920 \
        --height 1080 --crf "$crf" --h265 --elementary "$work/channel.h265"

    ffmpeg_pps=$(ffmpeg_rate "$work/channel.h265")

    for player in ${baseline:+"$baseline"} "$build"; do
        echo "-- $player"
        report "$("$player/bin/corvane" play "$dir" --seconds "$seconds")"
    done
    rm -rf "$dir"
done
