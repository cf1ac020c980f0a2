# Sourced by the CI scripts: install_missing PACKAGE... installs the Debian
# packages named (none when called without any), with sudo unless root.
install_missing() {
  [ $# -gt 0 ] || return 0
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "$@" >/dev/null
}

# need_fuzz_toolchain installs what the libFuzzer builds need when missing:
# cmake, clang 14, and clang 14's libFuzzer and sanitizer runtimes.
need_fuzz_toolchain() {
  local need=()
  command -v cmake >/dev/null || need+=(cmake)
  command -v clang++-14 >/dev/null || need+=(clang-14)
  ls /usr/lib/llvm-14/lib/clang/14*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1 ||
    need+=(libclang-rt-14-dev)
  install_missing "${need[@]}"
}
