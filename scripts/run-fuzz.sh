#!/usr/bin/env bash
# Runs every fuzz target of a VIREN_FUZZ build for a while each, one after the
# other, starting from the target's corpus in the source tree.
#   scripts/run-fuzz.sh BUILD_DIR SECONDS [TARGET...]
# New interesting inputs go to BUILD_DIR/fuzz-corpus/<target> (not into the
# source tree); a crash is written into tests/fuzz/corpus/<target>/ as
# crash-<hash>, where the ordinary build replays it as a test until it is
# mended. Each run's log is BUILD_DIR/fuzz-logs/<target>.log. Exits non-zero
# when any target found something.
set -uo pipefail

build=${1:?build directory}
seconds=${2:?seconds per target}
shift 2
src=$(cd "$(dirname "$0")/.." && pwd)
corpus="$src/tests/fuzz/corpus"
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for dir in "$corpus"/*/; do targets+=("$(basename "$dir")"); done
fi

mkdir -p "$build/fuzz-corpus" "$build/fuzz-logs"
failed=()
for t in "${targets[@]}"; do
  exe="$build/fuzz/fuzz_$t"
  if [ ! -x "$exe" ]; then
    echo "run-fuzz: $exe is missing" >&2
    failed+=("$t")
    continue
  fi
  mkdir -p "$build/fuzz-corpus/$t"
  log="$build/fuzz-logs/$t.log"
  echo "run-fuzz: $t for ${seconds}s"
  # Leaks are not what these targets look for: Qt and the shared-memory
  # handles keep caches for the whole process.
  ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 QT_QPA_PLATFORM=offscreen \
    "$exe" -max_total_time="$seconds" -runs=10000000 -rss_limit_mb=2560 -timeout=10 \
      -print_final_stats=1 -artifact_prefix="$corpus/$t/" \
      "$build/fuzz-corpus/$t" "$corpus/$t" >"$log" 2>&1
  status=$?
  grep -E '^(#[0-9]+ +DONE|stat::number_of_executed_units|stat::average_exec_per_sec)' "$log" | sed "s/^/  /"
  if [ $status -ne 0 ]; then
    echo "run-fuzz: $t found something (exit $status); see $log" >&2
    grep -E 'ERROR|SUMMARY|check failed|Test unit written' "$log" | head -5 | sed "s/^/  /" >&2
    failed+=("$t")
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "run-fuzz: findings or failures in: ${failed[*]}" >&2
  exit 1
fi
echo "run-fuzz: ${#targets[@]} targets ran clean"
