#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with clang in a build folder of
# their own and runs each one for a fixed time, starting from the committed
# seeds. Any crash, sanitizer report or broken property fails the run; the
# input that found it is kept in the build folder's artifacts/.
#
#   scripts/fuzz.sh            each target for 15 seconds (what CI runs)
#   scripts/fuzz.sh 600        each target for ten minutes, by hand
#   scripts/fuzz.sh 60 fuzz_document fuzz_values   only these targets
#
# KORVANE_FUZZ_DIR chooses the build folder (default build-fuzz). What the
# fuzzers find beyond the seeds is kept in its corpus/ between runs.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-15}"
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(fuzz_document fuzz_hex_text fuzz_values fuzz_description fuzz_packets fuzz_midi_scan)
fi

dir="${KORVANE_FUZZ_DIR:-build-fuzz}"
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DKORVANE_FUZZ=ON >/dev/null
cmake --build "$dir" -j2 --target "${targets[@]}"

mkdir -p "$dir/artifacts"
summary=()
failed=0
for target in "${targets[@]}"; do
  name="${target#fuzz_}"
  seeds="tests/fuzz/corpus/$name"
  corpus="$dir/corpus/$name"
  mkdir -p "$corpus"
  options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
           -artifact_prefix="$dir/artifacts/$name-")
  if [ -f "tests/fuzz/$name.dict" ]; then options+=(-dict="tests/fuzz/$name.dict"); fi
  log="$dir/$name.log"
  echo "== $target for ${seconds}s"
  if "$dir/bin/$target" "${options[@]}" "$corpus" "$seeds" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    summary+=("$(printf '%-18s %12s runs' "$target" "${runs:-?}")")
  else
    failed=1
    summary+=("$(printf '%-18s FAILED, see %s' "$target" "$log")")
    grep -E "property broken|ERROR: |SUMMARY: " "$log" | head -n 5 || true
  fi
done

printf '%s\n' "${summary[@]}"
exit "$failed"
