#!/bin/sh
# Eight 1920x1080 H.265 channels at about 2.5 and about 20 Mbit/s each, and one
# 3840x2160 H.264 channel at about 120 Mbit/s (where a decoder has cores to
# spare), played by `corvane play` in real time, beside ffmpeg decoding the
# same streams with two threads, one stream after another (all this machine
# can decode), in the same run. For each case it prints the player's JSON line, then the
# real-time factor, the skew between shown pictures, pictures shown and
# dropped per second of wall time, and ffmpeg's pictures per second, of all the
# pictures and of the part of each second the player showed.
#
# usage: bench/playback/heavy_playback.sh BUILD_DIR [SECONDS [BASELINE_BUILD_DIR]]
# BUILD_DIR is a Release build with bench_make_play_recording and corvane; the
# baseline's corvane (another build, say of the code before a change) plays the
# same recordings in the same run. CASES lists CHANNELSxWIDTHxHEIGHT:CODEC:CRF
# entries (the quality that gives each bit rate with the benchmark's picture).
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
        ffmpeg -nostdin -hide_banner -loglevel error -y -i "$work/channel.$codec" -c copy \
            -bsf:v "noise=drop=gte(mod(n\\,25)\\,$keep)" -f "$format" "$work/shown.$codec"
        same_pps=$(ffmpeg_rate "$work/shown.$codec")
        printf 'ffmpeg -threads 2 on the same pictures (the first %s of each second) decodes %.1f/s; shown / that %.2f\n' \
            "$keep" "$same_pps" "$(echo "$shown / $wall / $same_pps" | bc -l)"
        # Channels in step show the same times, and in a stream of key and
        # predicted frames a second's pictures decode only from its key frame
        # on: a player that keeps its channels in step and sheds by dropping
        # the rest of a second shows about this share of ffmpeg on all.
        printf 'ffmpeg on that part / ffmpeg on all pictures %.2f\n' "$(echo "$same_pps / $ffmpeg_pps" | bc -l)"
    fi
}

# Pictures per second ffmpeg decodes of FILE with two threads, once per
# channel, one after another.
ffmpeg_rate() {
    start=$(date +%s.%N)
    c=0
    while [ "$c" -lt "$channels" ]; do
        ffmpeg -nostdin -hide_banner -loglevel error -threads 2 -i "$1" -f null -
        c=$((c + 1))
    done
    end=$(date +%s.%N)
    frames=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames \
        -of csv=p=0 "$1")
    echo "$frames * $channels / ($end - $start)" | bc -l
}

for case in ${CASES:-8x1920x1080:h265:24 8x1920x1080:h265:20 1x3840x2160:h264:17}; do
    size=${case%%:*}
    codec=$(echo "$case" | cut -d: -f2)
    crf=${case##*:}
    channels=$(echo "$size" | cut -dx -f1)
    width=$(echo "$size" | cut -dx -f2)
    height=$(echo "$size" | cut -dx -f3)
    if [ "$codec" = h265 ]; then format=hevc; codec_flag=--h265; else format=h264; codec_flag=; fi
    dir="$work/case"
    echo "== $channels x ${width}x$height $codec, crf $crf"
    "$build/bin/bench_make_play_recording" "$dir" --channels "$channels" --seconds $((seconds + 4)) \
        --width "$width" --height "$height" --crf "$crf" $codec_flag --elementary "$work/channel.$codec"

    ffmpeg_pps=$(ffmpeg_rate "$work/channel.$codec")

    for player in ${baseline:+"$baseline"} "$build"; do
        echo "-- $player"
        report "$("$player/bin/corvane" play "$dir" --seconds "$seconds")"
    done
    rm -rf "$dir"
done
