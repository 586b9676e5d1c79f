#!/usr/bin/env bash
# Fuzzes every reader of outside data for a bounded time: builds the libFuzzer
# targets of fuzz/ with clang (preset fuzz, AddressSanitizer and
# UndefinedBehaviorSanitizer), runs each for SECONDS (default 30) over a
# scratch copy of its corpus, prints one line of figures per target, and exits
# non-zero when any target crashed, naming the input that did it.
#   scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: scripts/fuzz.sh [SECONDS]" >&2
  exit 2
fi

# clang and its libFuzzer runtime, besides what every build needs.
scripts/install-deps.sh clang libclang-rt-14-dev

cmake --preset fuzz >/dev/null
targets=()
for source in fuzz/*_fuzzer.cpp; do targets+=("$(basename "$source" .cpp)"); done
cmake --build --preset fuzz --target "${targets[@]}"

out=build/fuzz
crashes="$out/crashes"
# New inputs that a run finds stay in the build folder; the repository's
# corpus changes only by hand. Crash inputs are those of this run alone.
rm -rf "$out/scratch" "$crashes" "$out/logs"
mkdir -p "$crashes" "$out/logs"

export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
failed=()
# cov: code edges reached by the seeds alone, then by the end; ft: features.
printf '%-16s %12s %9s %13s %7s %8s %s\n' target executions exec/s cov ft corpus result
for target in "${targets[@]}"; do
  fuzzer="$out/fuzz/$target"
  name=${target%_fuzzer}
  scratch="$out/scratch/$name"
  log="$out/logs/$name.log"
  mkdir -p "$scratch"
  cp fuzz/corpus/"$name"/* "$scratch"/
  options=(-max_total_time="$seconds" -print_final_stats=1 -timeout=10 -rss_limit_mb=2048
           -artifact_prefix="$crashes/$name-")
  [ -f "fuzz/dict/$name.dict" ] && options+=(-dict="fuzz/dict/$name.dict")
  status=0
  "$fuzzer" "${options[@]}" "$scratch" >"$log" 2>&1 || status=$?
  found=$(find "$crashes" -type f -name "$name-*" | wc -l)

  stat() { sed -n "s/^stat::$1: *\([0-9]*\).*/\1/p" "$log" | tail -n 1; }
  # Status lines carry the coverage: "#N INITED cov: C ft: F corp: K/...", and
  # the last one "#N DONE ...".
  seeds=$(grep -m 1 -E '^#[0-9]+.*INITED.*cov: ' "$log" | sed -n 's/.* cov: \([0-9]*\).*/\1/p' || true)
  last=$(grep -E '^#[0-9]+.*cov: ' "$log" | tail -n 1 || true)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
  corp=$(sed -n 's/.* corp: \([0-9]*\).*/\1/p' <<<"$last")
  result=ok
  if [ "$status" -ne 0 ] || [ "$found" -gt 0 ]; then
    result="CRASH (exit $status, log $log)"
    failed+=("$name")
  fi
  printf '%-16s %12s %9s %13s %7s %8s %s\n' "$name" "$(stat number_of_executed_units)" \
    "$(stat average_exec_per_sec)" "${seeds:-?} -> ${cov:-?}" "${ft:-?}" "${corp:-?}" "$result"
done

if ((${#failed[@]})); then
  echo
  for name in "${failed[@]}"; do
    echo "fuzz: $name crashed; the input that did it:"
    find "$crashes" -type f -name "$name-*" -printf '  %p\n'
    grep -m 3 -E 'ERROR: |runtime error: |check failed: ' "$out/logs/$name.log" | sed 's/^/  /' || true
  done
  cat <<'EOT'

Reproduce with: build/fuzz/fuzz/NAME_fuzzer INPUT
Once the fault is mended, keep the input as a regression case:
  cp INPUT fuzz/corpus/NAME/regression-WHAT-IT-BROKE
(every build's tests replay the corpus: ctest -L fuzz)
EOT
  exit 1
fi
echo "fuzz: no crash in ${seconds} s per target"
