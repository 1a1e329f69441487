#!/usr/bin/env bash
# Times `lumora get` against `curl -o` on a loopback server, same files, same run:
#   1. one 1 GiB file (lumora: probe, engine, polling and placing the file included)
#   2. 200 files of 512 KiB (lumora: one command; curl: a loop of processes)
# Usage: bench/app/lumora-vs-curl.sh [BUILD_DIR] [WORK_DIR]
# BUILD_DIR defaults to build/default; WORK_DIR (needs ~3.5 GiB, on disk) to a fresh folder below
# the build directory. LUMORA_BENCH_BIG_MIB changes the size of the large file (default 1024).
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(cd "${1:-$root/build/default}" && pwd)"
work="${2:-$build/bench-app-work}"
lumora="$build/bin/lumora"
server="$build/bin/lumora_bench_file_server"
for tool in "$lumora" "$server"; do
  [ -x "$tool" ] || { echo "missing $tool: build the targets lumora and lumora_bench_file_server" >&2; exit 1; }
done
command -v curl >/dev/null || { echo "curl is needed" >&2; exit 1; }

rm -rf "$work"
mkdir -p "$work/files" "$work/many" "$work/curl"
trap 'stop_server; rm -rf "$work"' EXIT
export NO_PROXY=127.0.0.1,localhost no_proxy=127.0.0.1,localhost

now() { date +%s.%N; }
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b - a }'; }

echo "preparing files in $work ..."
head -c $((${LUMORA_BENCH_BIG_MIB:-1024} * 1024 * 1024)) /dev/urandom > "$work/files/big.mp4"
for i in $(seq -w 1 200); do head -c $((512 * 1024)) /dev/urandom > "$work/many/small-$i.mp4"; done
sync

SERVER_PID=""
start_server() {  # folder -> sets port
  coproc SERVER { "$server" "$1"; }
  read -r port <&"${SERVER[0]}"
}
stop_server() {
  if [ -n "$SERVER_PID" ]; then kill "$SERVER_PID" 2>/dev/null || true; wait "$SERVER_PID" 2>/dev/null || true; fi
  SERVER_PID=""
}

# --- 1 GiB ---
start_server "$work/files"
url="http://127.0.0.1:$port/big.mp4"
cat "$work/files/big.mp4" > /dev/null   # both runs read the source from the page cache

t0=$(now); curl -sS -o "$work/curl/big.mp4" "$url"; t1=$(now)
curl_big=$(seconds "$t0" "$t1")
t0=$(now); "$lumora" --home "$work/home-big" get "$url" > "$work/lumora-big.log"; t1=$(now)
lumora_big=$(seconds "$t0" "$t1")
landed=$(find "$work/home-big/Videos" -name 'big*.vexo' | head -1)
cmp -s "$landed" "$work/files/big.mp4" && same=identical || same=DIFFERENT
stop_server
rm -f "$work/curl/big.mp4" "$landed"

# --- 200 x 512 KiB ---
start_server "$work/many"
urls=()
for f in "$work"/many/*.mp4; do urls+=("http://127.0.0.1:$port/$(basename "$f")"); done
t0=$(now)
for u in "${urls[@]}"; do curl -sS -o "$work/curl/$(basename "$u")" "$u"; done
t1=$(now)
curl_many=$(seconds "$t0" "$t1")
t0=$(now); "$lumora" --home "$work/home-many" get "${urls[@]}" > "$work/lumora-many.log"; t1=$(now)
lumora_many=$(seconds "$t0" "$t1")
count=$(find "$work/home-many/Videos" -name '*.vexo' | wc -l)
stop_server

echo
printf '%-34s %10s %10s %8s\n' "" "lumora s" "curl s" "ratio"
printf '%-34s %10s %10s %8s  (%s)\n' "${LUMORA_BENCH_BIG_MIB:-1024} MiB file" "$lumora_big" "$curl_big" \
  "$(awk -v a="$lumora_big" -v b="$curl_big" 'BEGIN { printf "%.2f", a / b }')" "$same"
printf '%-34s %10s %10s %8s  (%s of 200 files)\n' "200 x 512 KiB" "$lumora_many" "$curl_many" \
  "$(awk -v a="$lumora_many" -v b="$curl_many" 'BEGIN { printf "%.2f", a / b }')" "$count"
