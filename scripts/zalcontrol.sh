#!/usr/bin/env bash
# Chat view library driver.
#
#   build   configure (if needed) and build the library, tests, example and benchmark
#   test    build, run the tests, run them again in an ASan+UBSan build, check that
#           the installed package is found by a host project through find_package, and
#           run the benchmark's short form (small sizes, once), which fails when its work does
#   bench   build, then print the view's figures against baselines measured in the same run
#   demo    build, then write the chat demo's screenshot to build/demo/chatdemo.png
#   install PREFIX
#           build, then install the library, its headers (PREFIX/include/ZALControl)
#           and its CMake package (PREFIX/lib/cmake/ZALControl)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
src=$root/zalcontrol
out=$root/build
jobs=-j2

export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=$out/xdg-runtime
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

# configure DIR [cmake options...]: configures once; later calls only rebuild.
configure() {
  local dir=$1; shift
  [ -f "$dir/CMakeCache.txt" ] || cmake -S "$src" -B "$dir" -G Ninja "$@"
}

build() {
  configure "$out/zalcontrol" -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build "$out/zalcontrol" $jobs
}

build_sanitized() {
  local flags="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
  configure "$out/zalcontrol-asan" -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
    -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
    -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined" -DZALCONTROL_BUILD_BENCH=OFF
  cmake --build "$out/zalcontrol-asan" $jobs
}

install_to() {
  cmake --install "$out/zalcontrol" --prefix "$1"
}

# Builds the package test's hosts against a fresh installation and runs them:
# the README's host must start and keep running until it is ended.
package_check() {
  local prefix=$out/zalcontrol-install host=$out/zalcontrol-host status=0
  rm -rf "$prefix" "$host"
  install_to "$prefix" >/dev/null
  cmake -S "$src/tests/package" -B "$host" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
  cmake --build "$host" $jobs >/dev/null
  "$host/package_host"
  timeout 3 "$host/readme_host_build/chat_host" || status=$?
  if [ "$status" -ne 124 ]; then
    echo "package check: the README's host ended with status $status instead of running" >&2
    return 1
  fi
  echo "package check: the README's host was built from the installed package and ran"
}

run_tests() {
  local status=0
  build
  echo "zalcontrol: tests"
  ctest --test-dir "$out/zalcontrol" --output-on-failure || status=1

  build_sanitized
  echo "zalcontrol: tests under AddressSanitizer and UndefinedBehaviorSanitizer"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:fast_unwind_on_malloc=0 \
  LSAN_OPTIONS=suppressions=$src/tests/lsan.supp:print_suppressions=0 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir "$out/zalcontrol-asan" --output-on-failure || status=1

  echo "zalcontrol: installed package"
  package_check || status=1

  echo "zalcontrol: benchmark, short form"
  "$out/zalcontrol/bench/bench_chatview" --short || status=1
  [ $status -eq 0 ] && echo "zalcontrol: all tests passed" || echo "zalcontrol: tests FAILED"
  return $status
}

case "${1:-}" in
  build) build ;;
  test) run_tests ;;
  demo)
    build
    mkdir -p "$out/demo"
    "$out/zalcontrol/examples/chatdemo/chatdemo" --screenshot "$out/demo/chatdemo.png"
    echo "zalcontrol: chat demo screenshot in $out/demo/chatdemo.png"
    ;;
  bench)
    build
    "$out/zalcontrol/bench/bench_chatview"
    ;;
  install)
    [ -n "${2:-}" ] || { echo "usage: $0 install PREFIX" >&2; exit 2; }
    build
    install_to "$(realpath -m "$2")"
    ;;
  *)
    echo "usage: $0 build|test|demo|bench|install PREFIX" >&2
    exit 2
    ;;
esac
