#!/usr/bin/env bash
# Times `lumora get` against curl, wget and aria2c on loopback networks made to behave like real
# ones, side by side:
#   throttled  one 1 GiB file, each connection capped at 20 MiB/s, 40 ms round trip
#   small      200 files of 512 KiB, 40 ms round trip (one command each: a URL list, or all URLs)
#   loopback   one 1 GiB file straight over loopback
#   rate       the engine alone under a 20 MiB/s limit for 10 s (how close it keeps to it)
# Contenders: lumora with default settings and with 16 connections per download, the engine alone
# (lumora_bench_engine_fetch, driven like the download worker; its memory growth is reported),
# curl, wget, `aria2c -x1`, `aria2c -x4 -s4`, `aria2c -x16 -s16` (`aria2c -i -j1` for the list).
# Every contender runs ROUNDS times (default 5), the order rotating every round, with the disk
# written back before each timed run; medians are reported, and each one's ratio to curl. Every
# file a run produced is compared with its source before the next run.
#
# The slow network is lumora_bench_delay_proxy in front of lumora_bench_file_server: user-space
# latency and pacing (this machine's kernel has no netem).
#
# Usage: bench/app/real-network.sh [BUILD_DIR] [WORK_DIR]
# BUILD_DIR defaults to build/default (built by scripts/bootstrap, which this script runs when the
# programs are missing); WORK_DIR (needs ~2.5 GiB, on disk) to a fresh folder below it.
# Environment: LUMORA_BENCH_ROUNDS (5), LUMORA_BENCH_CASES ("throttled small loopback rate"),
# LUMORA_BENCH_BIG_MIB (1024), LUMORA_BENCH_RATE (per connection, bytes/s; 20971520),
# LUMORA_BENCH_RTT_MS (40), LUMORA_BENCH_SMALL_COUNT (200).
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$root/build/default}"
rounds="${LUMORA_BENCH_ROUNDS:-5}"
cases="${LUMORA_BENCH_CASES:-throttled small loopback rate}"
big_mib="${LUMORA_BENCH_BIG_MIB:-1024}"
rate="${LUMORA_BENCH_RATE:-20971520}"
rtt="${LUMORA_BENCH_RTT_MS:-40}"
small_count="${LUMORA_BENCH_SMALL_COUNT:-200}"

# --- what the benchmark needs -------------------------------------------------------------------
need=()
for tool in curl wget aria2c; do command -v "$tool" >/dev/null || need+=("$tool"); done
if ((${#need[@]})); then
  packages=("${need[@]/aria2c/aria2}")
  echo "installing ${packages[*]}" >&2
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${packages[@]}"
fi
programs=(lumora lumora_bench_file_server lumora_bench_delay_proxy lumora_bench_engine_fetch)
for p in "${programs[@]}"; do
  if [ ! -x "$build/bin/$p" ]; then
    [ "$build" = "$root/build/default" ] || { echo "missing $build/bin/$p" >&2; exit 1; }
    "$root/scripts/bootstrap"
    break
  fi
done
build="$(cd "$build" && pwd)"
work="${2:-$build/bench-real-network}"
lumora="$build/bin/lumora"
fetch="$build/bin/lumora_bench_engine_fetch"

rm -rf "$work"
mkdir -p "$work/files" "$work/many" "$work/out"
PIDS=()
cleanup() {
  for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
export NO_PROXY=127.0.0.1,localhost no_proxy=127.0.0.1,localhost
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY ALL_PROXY all_proxy

# --- helpers ------------------------------------------------------------------------------------
now() { date +%s.%N; }
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { printf "%.2f", (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }

# A program in the background whose first output line is a port: start_port VAR program args...
# Its input is a pipe this script holds open: it ends when the script does, however that happens.
start_port() {
  local var="$1"; shift
  local tag="$work/server.$RANDOM"
  mkfifo "$tag.in" "$tag.out"
  "$@" < "$tag.in" > "$tag.out" 2>/dev/null &
  PIDS+=($!)
  local keep; exec {keep}> "$tag.in"
  local port; read -r port < "$tag.out"
  rm -f "$tag.in" "$tag.out"
  printf -v "$var" '%s' "$port"
}

# lumora's home for one run, with the engine's connections per download written into its registry.
lumora_home() {  # dir connections(empty: default)
  mkdir -p "$1/registry"
  if [ -n "$2" ]; then
    printf 'Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\SOFTWARE\\Vexo\\Settings\\VexoDownloadManager]\n"MaxConnectionsPerDownload"=dword:%08x\n' "$2" > "$1/registry/user.reg"
  fi
}

# The contenders. Each takes the output folder and the URLs (one for a single file).
run_lumora()    { lumora_home "$1/home" "";  "$lumora" --home "$1/home" get "${@:2}" > "$1/lumora.log"; }
run_lumora16()  { lumora_home "$1/home" 16;  "$lumora" --home "$1/home" get "${@:2}" > "$1/lumora.log"; }
run_engine()    { lumora_home "$1/home" "";  LUMORA_HOME="$1/home" "$fetch" "${@:2}" > "$1/engine.log"; }
run_curl()      { (cd "$1" && curl -sS --remote-name-all "${@:2}"); }
run_wget()      { printf '%s\n' "${@:2}" > "$1.list"; wget -q -P "$1" -i "$1.list"; rm -f "$1.list"; }
aria() {  # folder split urls...
  local dir="$1" split="$2"; shift 2
  if (($# == 1)); then
    aria2c -q -d "$dir" -x"$split" -s"$split" --allow-overwrite=true "$1"
  else
    printf '%s\n' "$@" > "$dir.list"; aria2c -q -d "$dir" -j1 -i "$dir.list"; rm -f "$dir.list"
  fi
}
run_aria1()  { aria "$1" 1 "${@:2}"; }
run_aria4()  { aria "$1" 4 "${@:2}"; }
run_aria16() { aria "$1" 16 "${@:2}"; }

# The checksums of what a contender left, wherever it puts its files, to compare with the sources.
landed_sums() {  # folder -> one checksum a line
  local where=("$1" -maxdepth 1 -type f ! -name '*.log')
  if [ -d "$1/home/Videos" ]; then where=("$1/home/Videos" -type f -name '*.vexo')
  elif [ -d "$1/home/cache/downloads" ]; then where=("$1/home/cache/downloads" -type f ! -name '*.part*'); fi
  find "${where[@]}" -exec md5sum {} + | awk '{ print $1 }'
}

declare -A results
verify_failures=0
timed_case() {  # case-name source-folder contenders... -- urls...
  local name="$1" source="$2"; shift 2
  local contenders=()
  while [ "$1" != "--" ]; do contenders+=("$1"); shift; done
  shift
  local urls=("$@") n=${#contenders[@]}
  for ((r = 0; r < rounds; r++)); do
    for ((i = 0; i < n; i++)); do
      local who="${contenders[$(((i + r) % n))]}" out="$work/out/run"
      rm -rf "$out"; mkdir -p "$out"; sync
      local t0 t1; t0=$(now)
      if ! "run_$who" "$out" "${urls[@]}"; then echo "  $who failed" >&2; fi
      t1=$(now)
      results["$name,$who"]+="$(seconds "$t0" "$t1") "
      # Every file must equal its source (lumora renames files; compare by content).
      local got expected
      got=$(landed_sums "$out" | sort | md5sum)
      expected=$(cat "$source.sums")
      if [ "$got" != "$expected" ]; then
        echo "  $who: files differ from the sources" >&2; verify_failures=$((verify_failures + 1))
      fi
      if [ "$who" = engine ] && [ -f "$out/engine.log" ]; then
        results["$name,engine-rss"]+="$(awk '{ print $3 }' "$out/engine.log") "
      fi
      echo "  $name round $((r + 1)) $who $(seconds "$t0" "$t1") s" >&2
    done
  done
  rm -rf "$work/out/run"
}

report() {  # case-name title contenders...
  local name="$1" title="$2"; shift 2
  # shellcheck disable=SC2086
  local curl_median; curl_median=$(median ${results["$name,curl"]})
  echo
  echo "$title (medians of $rounds)"
  printf '  %-22s %9s %9s\n' "" "seconds" "x curl"
  for who in "$@"; do
    # shellcheck disable=SC2086
    local m; m=$(median ${results["$name,$who"]})
    printf '  %-22s %9s %9s\n' "$(label "$who")" "$m" "$(ratio "$m" "$curl_median")"
  done
  if [ -n "${results["$name,engine-rss"]:-}" ]; then
    # shellcheck disable=SC2086
    echo "  engine resident memory growth, largest: $(printf '%s\n' ${results["$name,engine-rss"]} | sort -n | tail -1) MiB"
  fi
}
label() {
  case "$1" in
    lumora) echo "lumora get";; lumora16) echo "lumora get, 16 conn.";; engine) echo "engine alone";;
    curl) echo "curl";; wget) echo "wget";; aria1) echo "aria2c -x1";; aria4) echo "aria2c -x4 -s4";;
    aria16) echo "aria2c -x16 -s16";;
  esac
}

# --- the files ----------------------------------------------------------------------------------
echo "preparing files in $work ..." >&2
head -c $((big_mib * 1024 * 1024)) /dev/urandom > "$work/files/big.mp4"
md5sum "$work/files/big.mp4" | awk '{ print $1 }' | md5sum > "$work/files.sums"
clip="$root/tests/data/clip-160x120.mp4"
for i in $(seq -w 1 "$small_count"); do
  { cat "$clip"; head -c $((512 * 1024 - $(stat -c %s "$clip"))) /dev/urandom; } > "$work/many/small-$i.mp4"
done
md5sum "$work"/many/* | awk '{ print $1 }' | sort | md5sum > "$work/many.sums"
mkdir -p "$work/rate"
head -c $((rate * 10)) "$work/files/big.mp4" > "$work/rate/rate.bin"  # 10 s worth at the limit
cat "$work/files/big.mp4" "$work"/many/* > /dev/null
sync

start_port files_port "$build/bin/lumora_bench_file_server" "$work/files"
start_port many_port "$build/bin/lumora_bench_file_server" "$work/many"
start_port rate_port "$build/bin/lumora_bench_file_server" "$work/rate"
small_urls() {  # port
  for f in "$work"/many/*.mp4; do echo "http://127.0.0.1:$1/$(basename "$f")"; done
}

big_contenders=(lumora lumora16 engine curl wget aria1 aria4 aria16)
for c in $cases; do
  case "$c" in
    throttled)
      start_port slow_port "$build/bin/lumora_bench_delay_proxy" --upstream "$files_port" --rtt-ms "$rtt" --rate "$rate"
      timed_case throttled "$work/files" "${big_contenders[@]}" -- "http://127.0.0.1:$slow_port/big.mp4"
      report throttled "$big_mib MiB, $((rate / 1048576)) MiB/s per connection, $rtt ms round trip" "${big_contenders[@]}"
      ;;
    small)
      start_port far_port "$build/bin/lumora_bench_delay_proxy" --upstream "$many_port" --rtt-ms "$rtt"
      mapfile -t urls < <(small_urls "$far_port")
      small_contenders=(lumora engine curl wget aria1)
      timed_case small "$work/many" "${small_contenders[@]}" -- "${urls[@]}"
      report small "$small_count x 512 KiB, $rtt ms round trip (aria2c: -i -j1)" "${small_contenders[@]}"
      ;;
    loopback)
      timed_case loopback "$work/files" "${big_contenders[@]}" -- "http://127.0.0.1:$files_port/big.mp4"
      report loopback "$big_mib MiB over loopback" "${big_contenders[@]}"
      ;;
    rate)
      # 10 s worth at the limit, through the engine alone, over four connections.
      limit="$rate"
      home="$work/out/rate-home"; rm -rf "$home"; mkdir -p "$home"
      line=$(LUMORA_HOME="$home" VEXO_VDM_MAX_DOWNLOAD_RATE="$limit" "$fetch" "http://127.0.0.1:$rate_port/rate.bin")
      rm -rf "$home"
      secs=$(echo "$line" | awk '{ print $1 }')
      echo
      bytes=$(stat -c %s "$work/rate/rate.bin")
      echo "rate limit $limit B/s, $bytes bytes: $secs s, achieved $(awk -v b="$bytes" -v s="$secs" -v l="$limit" 'BEGIN { printf "%.0f B/s (%+.1f%%)", b / s, (b / s / l - 1) * 100 }')"
      ;;
  esac
done
echo
((verify_failures == 0)) && echo "every file equal to its source" || echo "$verify_failures runs produced files unlike their sources"
