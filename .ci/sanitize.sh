#!/usr/bin/env bash
# The whole test suite, end-to-end cases included, under AddressSanitizer and
# UndefinedBehaviorSanitizer (preset `sanitize`, build tree build/sanitize).
# Every UndefinedBehaviorSanitizer finding ends the program that made it
# (-fno-sanitize-recover), and every AddressSanitizer finding does anyway, so
# the test that ran it fails; the preset sets ASAN_OPTIONS and UBSAN_OPTIONS.
set -euo pipefail
cd "$(dirname "$0")/.."
. .ci/install_missing.sh

need=()
command -v cmake >/dev/null || need+=(cmake)
command -v g++ >/dev/null || need+=(g++)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
# The end-to-end cases check stack listings with nm and type at a terminal made by script.
command -v nm >/dev/null || need+=(binutils)
command -v script >/dev/null || need+=(bsdutils)
install_missing "${need[@]}"

cmake --workflow --preset sanitize
