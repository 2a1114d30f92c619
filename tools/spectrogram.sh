#!/bin/sh
# spectrogram.sh - draws a spectrogram PNG of a rendered song with sox.
#
# Use:
#     tools/spectrogram.sh IN.wav OUT.png [FIRST_BAR LAST_BAR [MAX_HZ]]
#   e.g. render with `syna-render -o song.wav`, then
#     tools/spectrogram.sh song.wav song.png            # the whole render
#     tools/spectrogram.sh song.wav groove.png 16 24 4000
#
# Bars are the song's musical bars at 125 bpm: 16 rows of 5292 frames, bar n
# starting at row 16n + 1 (row 0 holds each track's first one-row pattern).
# FIRST_BAR..LAST_BAR picks bars FIRST_BAR up to, not including, LAST_BAR.
# MAX_HZ lowers the top of the picture (sox resamples to twice that rate),
# which spreads notes out for reading pitches. Stereo is mixed to mono.
#
# Limits: needs sox with PNG support (Debian's sox has it); the picture is
# 1600 pixels wide whatever the span, so long spans blur short notes.
set -eu

if [ $# -ne 2 ] && [ $# -ne 4 ] && [ $# -ne 5 ]; then
    echo "usage: $0 IN.wav OUT.png [FIRST_BAR LAST_BAR [MAX_HZ]]" >&2
    exit 2
fi
in=$1
out=$2
command -v sox >/dev/null 2>&1 || { echo "$0: sox not found (apt-get install sox)" >&2; exit 1; }

trim=""
title="$(basename "$in")"
if [ $# -ge 4 ]; then
    first=$3
    last=$4
    case "$first$last" in *[!0-9]*) echo "$0: bars must be whole numbers" >&2; exit 2 ;; esac
    [ "$last" -gt "$first" ] || { echo "$0: LAST_BAR must exceed FIRST_BAR" >&2; exit 2; }
    # sox counts samples with a trailing "s".
    start=$(( (16 * first + 1) * 5292 ))
    length=$(( 16 * (last - first) * 5292 ))
    trim="trim ${start}s ${length}s"
    title="$title, bars $first to $((last - 1))"
fi
rate=""
if [ $# -eq 5 ]; then
    case "$5" in *[!0-9]*|"") echo "$0: MAX_HZ must be a whole number" >&2; exit 2 ;; esac
    rate="rate $(( 2 * $5 ))"
fi

# shellcheck disable=SC2086  # trim and rate are word lists on purpose
sox "$in" -n $trim remix - $rate spectrogram -x 1600 -y 513 -z 90 -t "$title" -o "$out"
