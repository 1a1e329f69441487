#!/usr/bin/env bash
# Times `lumora get` against `curl -o` on a loopback server, same files, same run:
#   1. one 1 GiB file (lumora: probe, engine, polling and placing the file included)
#   2. 200 files of 512 KiB (lumora: one command; curl: a loop of processes)
# Each comparison runs ROUNDS times (default 3), the two alternating who goes first, with the disk
# written back (sync) before every timed run so that neither pays for the other's writes; the
# medians are reported.
# Usage: bench/app/lumora-vs-curl.sh [BUILD_DIR] [WORK_DIR]
# BUILD_DIR defaults to build/default; WORK_DIR (needs ~3.5 GiB, on disk) to a fresh folder below
# the build directory. LUMORA_BENCH_BIG_MIB changes the size of the large file (default 1024),
# LUMORA_BENCH_ROUNDS the number of rounds. The small files are videos (a bundled clip, padded to
# 512 KiB) unless LUMORA_BENCH_CONTENT=random: the file inspector measures every finished file, and
# on random bytes it spends about 25 ms per file probing before it gives up.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(cd "${1:-$root/build/default}" && pwd)"
work="${2:-$build/bench-app-work}"
big_mib="${LUMORA_BENCH_BIG_MIB:-1024}"
rounds="${LUMORA_BENCH_ROUNDS:-3}"
lumora="$build/bin/lumora"
server="$build/bin/lumora_bench_file_server"
for tool in "$lumora" "$server"; do
  [ -x "$tool" ] || { echo "missing $tool: build the targets lumora and lumora_bench_file_server" >&2; exit 1; }
done
command -v curl >/dev/null || { echo "curl is needed" >&2; exit 1; }

SERVER_PID=""
start_server() {  # folder -> sets port
  coproc SERVER { "$server" "$1" 2>/dev/null; }
  read -r port <&"${SERVER[0]}"
}
stop_server() {
  if [ -n "$SERVER_PID" ]; then kill "$SERVER_PID" 2>/dev/null || true; wait "$SERVER_PID" 2>/dev/null || true; fi
  SERVER_PID=""
}

rm -rf "$work"
mkdir -p "$work/files" "$work/many"
trap 'stop_server; rm -rf "$work"' EXIT
export NO_PROXY=127.0.0.1,localhost no_proxy=127.0.0.1,localhost

now() { date +%s.%N; }
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { printf "%.2f", (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

echo "preparing files in $work ..." >&2
head -c $((big_mib * 1024 * 1024)) /dev/urandom > "$work/files/big.mp4"
clip="$root/tests/data/clip-160x120.mp4"
for i in $(seq -w 1 200); do
  if [ "${LUMORA_BENCH_CONTENT:-video}" = random ]; then
    head -c $((512 * 1024)) /dev/urandom > "$work/many/small-$i.mp4"
  else
    { cat "$clip"; head -c $((512 * 1024 - $(stat -c %s "$clip"))) /dev/urandom; } > "$work/many/small-$i.mp4"
  fi
done
cat "$work/files/big.mp4" "$work"/many/* > /dev/null   # every run reads its source from the page cache
sync

run_curl_big() { curl -sS -o "$work/curl-big.mp4" "$1"; }
run_lumora_big() { "$lumora" --home "$work/home-big" get "$1" > "$work/lumora-big.log"; }
run_curl_many() { mkdir -p "$work/curl-many"; for u in "${urls[@]}"; do curl -sS -o "$work/curl-many/${u##*/}" "$u"; done; }
run_lumora_many() { "$lumora" --home "$work/home-many" get "${urls[@]}" > "$work/lumora-many.log"; }
# What a run leaves is checked right after it and removed before the next timed run.
clean() { rm -rf "$work/curl-big.mp4" "$work/curl-many" "$work/home-big" "$work/home-many"; sync; }

timed() {  # function args... -> prints seconds
  clean
  local t0 t1
  t0=$(now); "$@"; t1=$(now)
  seconds "$t0" "$t1"
}

# --- the large file ---
start_server "$work/files"
url="http://127.0.0.1:$port/big.mp4"
lumora_big=(); curl_big=(); same=identical
check_big() {
  landed=$(find "$work/home-big/Videos" -name 'big*.vexo' 2>/dev/null | head -1)
  cmp -s "$landed" "$work/files/big.mp4" || same=DIFFERENT
}
for ((r = 0; r < rounds; r++)); do
  if ((r % 2 == 0)); then
    curl_big+=("$(timed run_curl_big "$url")"); lumora_big+=("$(timed run_lumora_big "$url")"); check_big
  else
    lumora_big+=("$(timed run_lumora_big "$url")"); check_big; curl_big+=("$(timed run_curl_big "$url")")
  fi
done
stop_server

# --- 200 small files ---
start_server "$work/many"
urls=()
for f in "$work"/many/*.mp4; do urls+=("http://127.0.0.1:$port/$(basename "$f")"); done
lumora_many=(); curl_many=(); complete=yes
check_many() { [ "$(find "$work/home-many/Videos" -name '*.vexo' | wc -l)" -eq 200 ] || complete=no; }
for ((r = 0; r < rounds; r++)); do
  if ((r % 2 == 0)); then
    curl_many+=("$(timed run_curl_many)"); lumora_many+=("$(timed run_lumora_many)"); check_many
  else
    lumora_many+=("$(timed run_lumora_many)"); check_many; curl_many+=("$(timed run_curl_many)")
  fi
done
stop_server
clean

lb=$(median "${lumora_big[@]}"); cb=$(median "${curl_big[@]}")
lm=$(median "${lumora_many[@]}"); cm=$(median "${curl_many[@]}")
echo
echo "medians of $rounds rounds (each: ${lumora_big[*]} | ${curl_big[*]} ; ${lumora_many[*]} | ${curl_many[*]})"
printf '%-20s %10s %10s %8s\n' "" "lumora s" "curl s" "ratio"
printf '%-20s %10s %10s %8s  (files %s)\n' "$big_mib MiB file" "$lb" "$cb" "$(ratio "$lb" "$cb")" "$same"
printf '%-20s %10s %10s %8s  (all 200 landed: %s)\n' "200 x 512 KiB ${LUMORA_BENCH_CONTENT:-video}" "$lm" "$cm" "$(ratio "$lm" "$cm")" "$complete"
