#!/usr/bin/env bash
# Kills a process that saves the library again and again, many times, and
# checks the file after every kill (see tests/document/save_soak_test.cpp).
#
#   scripts/soak.sh          1000 kills
#   scripts/soak.sh 5000     as many as asked
set -euo pipefail
cd "$(dirname "$0")/.."
build="${KORVANE_BUILD_DIR:-build}"
cmake --build "$build" -j2 --target document_soak_tests
KORVANE_SOAK_KILLS="${1:-1000}" "$build/bin/document_soak_tests" --gtest_filter='SaveSoak.*'
