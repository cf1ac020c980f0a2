#!/usr/bin/env bash
# Cross-builds both programs and the test suite for 64-bit Windows with
# MinGW-w64, then runs the whole suite under wine (the "windows" presets).
set -euo pipefail
cd "$(dirname "$0")/.."

# The MinGW nm and objdump check the stack listings of the end-to-end cases.
if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null || ! command -v wine >/dev/null ||
   ! command -v wineserver >/dev/null || [ ! -f /usr/src/googletest/CMakeLists.txt ] ||
   ! command -v x86_64-w64-mingw32-nm >/dev/null; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends \
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64 googletest >/dev/null
fi

build=build/windows
# The same environment as the presets give: one private prefix per build tree
# (~0.7 GB, ignored by git), no wine chatter on standard error (it would
# spoil byte-exact comparisons), and the Unix locale wine decodes text with.
export WINEPREFIX="$PWD/$build/wineprefix"
export WINEDEBUG=-all
export LANG=C.UTF-8

# Order matters. A persistent server must be up, with its output detached,
# before anything else starts wine: otherwise wine's helper processes inherit
# the first test's output pipes, and ctest waits seconds for every test or
# hangs for good. `wineserver -p` fails while another server runs for the
# prefix, and fails for a directory that does not exist yet.
mkdir -p "$WINEPREFIX"
wineserver -k >/dev/null 2>&1 || true
wineserver -p </dev/null >/dev/null 2>&1
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
wineboot -i </dev/null >/dev/null 2>&1
# A crash must end the test with its exception code; wine's default
# post-mortem debugger sometimes lets a crashed program exit with 0.
wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
  /v Debugger /t REG_SZ /d 'no-post-mortem-debugger' /f </dev/null >/dev/null 2>&1

cmake --preset windows
cmake --build --preset windows -j"$(nproc)"
ctest --preset windows --timeout 300 -j"$(nproc)"
