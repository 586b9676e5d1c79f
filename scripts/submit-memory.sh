#!/usr/bin/env bash
# Peak memory of tesselwick-submit over heavy runs, measured with /usr/bin/time:
# 100 sites answering 8 MiB each, and a PAD file whose category is 2.6 MB of
# bytes outside ASCII (7.8 MB once escaped) sent to 100 sites. The sites are
# served by bench/answer_sites on 127.0.0.1.
#   scripts/submit-memory.sh [PRESET]      default: ci
# SUBMIT=path/to/tesselwick-submit measures another build of the program.
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-ci}"

scripts/install-deps.sh
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target tesselwick-submit answer_sites
build="build/$preset"
submit="${SUBMIT:-$build/src/cli/tesselwick-submit}"

measure() {
  local kind="$1"
  local folder
  folder="$(mktemp -d)"
  # The sites serve for as long as their input stays open.
  coproc SITES { "$build/bench/answer_sites" "$folder" "$kind"; }
  local pad_url
  read -r pad_url <&"${SITES[0]}"
  local status=0
  /usr/bin/time -v -o "$folder/time.txt" "$submit" --folder "$folder" "$pad_url" \
    >"$folder/out.txt" 2>"$folder/err.txt" || status=$?
  exec {SITES[1]}>&-
  wait "$SITES_PID" 2>/dev/null || true
  local rss_kib
  rss_kib="$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$folder/time.txt")"
  local elapsed
  elapsed="$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$folder/time.txt")"
  printf '%-14s peak %6d MiB (%d KiB), %s, exit status %d, %s\n' "$kind" \
    $((rss_kib / 1024)) "$rss_kib" "$elapsed" "$status" "$(tail -n 1 "$folder/out.txt")"
  rm -rf "$folder"
}

echo "tesselwick-submit: $submit"
measure large-answers
measure long-category
