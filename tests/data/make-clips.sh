#!/usr/bin/env bash
# Regenerates the small clips the tests and the demo use, from ffmpeg's own test sources, so that no
# outside footage is ever needed. Sizes, durations and containers are what the tests expect:
#   clip-160x120.mp4   3 s, 160x120, MPEG-4 video + AAC audio
#   clip-320x240.mkv   2 s, 320x240, MPEG-4 video
#   clip-176x144.avi   2.4 s, 176x144, MPEG-4 video + PCM audio
# Usage: tests/data/make-clips.sh   (writes beside this script)
set -euo pipefail
cd "$(dirname "$0")"

common=(-hide_banner -loglevel error -y -bitexact)
video() { echo "testsrc2=size=$1:rate=15:duration=$2"; }
audio() { echo "sine=frequency=440:sample_rate=22050:duration=$1"; }

ffmpeg "${common[@]}" -f lavfi -i "$(video 160x120 3)" -f lavfi -i "$(audio 3)" \
  -c:v mpeg4 -q:v 12 -c:a aac -b:a 32k -ac 1 -map_metadata -1 -movflags +faststart clip-160x120.mp4
ffmpeg "${common[@]}" -f lavfi -i "$(video 320x240 2)" \
  -c:v mpeg4 -q:v 14 -map_metadata -1 clip-320x240.mkv
ffmpeg "${common[@]}" -f lavfi -i "$(video 176x144 2.4)" -f lavfi -i "$(audio 2.4)" \
  -c:v mpeg4 -q:v 12 -c:a pcm_u8 -ac 1 -map_metadata -1 clip-176x144.avi

ls -l clip-*
