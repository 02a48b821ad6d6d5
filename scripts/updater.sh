#!/usr/bin/env bash
# Updater driver: build | test | demo | bench | fuzz [RUNS] | release ARGS...
#   build    configure (if needed) and build the win64 and win32 presets
#   test     build everything, then run the win64 tests under Wine through
#            CTest (among them the Windows xrelease against the native one and
#            every benchmark in its short form, which fails when the work fails),
#            check the win32 build's PE headers, and run the native
#            AddressSanitizer + UndefinedBehaviorSanitizer build's tests with
#            short smokes of the fuzz targets
#   demo     build the win64, win32 and xrelease builds, then run the update
#            story under Wine (updater/e2e/update_story.py): release 1.0.0.1
#            signed and published over HTTPS (nginx in front of the local
#            update server), client 1.0.0.0 installed
#            in build/demo/updater/install, updated through UpdateWeb and
#            Updater_new.exe, plus a run made to fail; pictures of the
#            updater's window in build/demo/pictures
#   bench    run the allocator, manifest and transfer benchmarks under Wine (the
#            transfer benchmark against sha1sum, curl and bare WinHTTP loops,
#            over the local update server), and xrelease (native and under
#            Wine) against sha1sum
#   fuzz     long runs of the XConfig parser and writer fuzz targets (default
#            10,000,000 inputs each), one worker at low priority; their corpora
#            grow in build/native/fuzz/long/<target>, crashes are written there
#   release  run xrelease, the tool that publishes and verifies update
#            manifests (native build, preset "tool"), with ARGS; for example
#            release create --version 1.2.3.4 --base-url https://host/pc/ FOLDER
#            release verify FOLDER              (release --help for the rest)
# Build trees live in build/<preset> at the repository root.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
source_dir=$root/updater
jobs=2

# wine64 directly: /usr/bin/wine only forwards to it when no 32-bit Wine is
# installed (this machine cannot run 32-bit code) and complains on every start.
if [ -x /usr/lib/wine/wine64 ]; then wine=/usr/lib/wine/wine64; else wine=wine; fi

configure() {  # preset
  if [ ! -f "$root/build/$1/build.ninja" ]; then
    cmake --preset "$1" -S "$source_dir" >/dev/null || return 1
  fi
}

build() {  # preset...
  local preset
  for preset in "$@"; do
    echo "updater: building $preset"
    configure "$preset" || return 1
    (cd "$source_dir" && cmake --build --preset "$preset" --parallel "$jobs") || return 1
  done
}

# The native xrelease, built quietly when needed: its output is the tool's.
xrelease() {  # args...
  local log=$root/build/xrelease-build.log
  mkdir -p "$root/build"
  if ! build tool >"$log" 2>&1; then
    cat "$log" >&2
    echo "updater: building xrelease failed" >&2
    return 2
  fi
  "$root/build/tool/release/xrelease" "$@"
}

# One Wine prefix inside the win64 build tree and one persistent wineserver for
# the whole run, so each test program starts in a fraction of a second. The
# server (and anything left in the prefix) is ended on exit, failure included.
wine_up() {
  export WINEPREFIX=$root/build/win64/wineprefix
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  # Wine names files on disk in the locale's encoding; UTF-8 keeps every name.
  export LC_ALL=C.UTF-8
  mkdir -p "$WINEPREFIX"
  trap wine_down EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM
  display_up
  # Exits with 2, silently, when the prefix has a server already (another
  # run of this script, or a Wine program started by hand): that one serves.
  wineserver -p || [ $? -eq 2 ]
  [ -f "$WINEPREFIX/system.reg" ] || echo "updater: creating the Wine prefix"
  # Creates the prefix if needed and starts Wine's own services now, with
  # harmless output: a service started by a test program would inherit its
  # output pipe and keep ctest waiting for the end of it.
  "$wine" wineboot --init </dev/null >/dev/null 2>&1
}

wine_down() {
  # The tests' nginx, should ctest have been cut off before its fixture's end.
  python3 "$source_dir/tests/https_server.py" stop --state "$root/build/win64/tests/https-server" 2>/dev/null || true
  wineserver -k 2>/dev/null || true
  if [ -n "${xvfb_pid:-}" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
}

# Programs with windows need a display: a virtual one for the whole run, on
# the first free display number, unless one is given.
display_up() {
  [ -n "${DISPLAY:-}" ] && return 0
  local fifo
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  xvfb_pid=$!
  local number
  read -r -t 30 number <"$fifo" || { rm -f "$fifo"; echo "updater: Xvfb did not start" >&2; return 1; }
  rm -f "$fifo"
  export DISPLAY=:$number
}

run_tests() {
  local status=0
  # Functions called in a condition do not stop on errors: check each step.
  # The native build first: a win64 test compares the two builds of xrelease.
  build native win64 win32 || return 1
  wine_up
  echo "updater: win64 tests under Wine"
  (cd "$source_dir" && ctest --preset win64) || status=1
  echo "updater: win32 build (warnings are errors) and its PE headers"
  (cd "$source_dir" && ctest --preset win32) || status=1
  echo "updater: native tests with AddressSanitizer and UndefinedBehaviorSanitizer"
  (cd "$source_dir" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --preset native) || status=1
  return $status
}

case "${1:-}" in
  build) build win64 win32 ;;
  test)
    start=$SECONDS
    status=0
    run_tests || status=1
    echo "updater: tests took $((SECONDS - start)) s"
    exit $status
    ;;
  demo)
    # The update story end to end under Wine, with pictures of the updater's
    # window: the win64 build, since this machine runs 64-bit Windows
    # programs only. The win32 product build is built and checked.
    build win64 win32 tool
    echo "updater: checking the win32 product build's PE headers (it cannot run here: 64-bit Windows programs only)"
    (cd "$source_dir" && ctest --preset win32 -R '^pe_headers\.Updater$' >/dev/null) || exit 1
    wine_up
    story=$root/build/demo/updater
    trap 'python3 "$source_dir/tests/https_server.py" stop --state "$story/https"
          python3 "$source_dir/tests/update_server.py" stop --pid-file "$story/server.pid"; wine_down' EXIT
    python3 "$source_dir/e2e/update_story.py" --build "$root/build/win64" --wine "$wine" \
      --xrelease "$root/build/tool/release/xrelease" --work "$story" --pictures "$root/build/demo/pictures"
    ;;
  bench)
    build win64 tool
    wine_up
    "$wine" "$root/build/win64/bench/alloc_bench.exe"
    echo
    "$wine" "$root/build/win64/bench/manifest_bench.exe"
    echo
    python3 "$source_dir/bench/transfer_bench.py" --build "$root/build/win64" --wine "$wine" \
      --xrelease "$root/build/tool/release/xrelease"
    echo
    python3 "$source_dir/bench/release_bench.py" --native "$root/build/tool/release/xrelease" \
      --windows "$root/build/win64/release/xrelease.exe" --wine "$wine" --work "$root/build/bench-release"
    ;;
  fuzz)
    runs=${2:-10000000}
    build native
    status=0
    for target in xconfig xconfig_writer; do
      long=$root/build/native/fuzz/long/$target
      mkdir -p "$long/corpus"
      options=()
      [ "$target" = xconfig ] && options=(-dict="$source_dir/fuzz/xconfig.dict" "$source_dir/fuzz/corpus/xconfig")
      echo "updater: fuzzing $target"
      # One job in one worker: libFuzzer runs it as a child and logs to fuzz-0.log.
      (cd "$long" && nice -n 10 "$root/build/native/fuzz/${target}_fuzzer" -jobs=1 -workers=1 -runs="$runs" \
        -print_final_stats=1 -artifact_prefix="$long/" "$long/corpus" "${options[@]}") || status=1
      grep -E '^#[0-9]+ +(DONE|INITED)|^stat::|ERROR|SUMMARY|artifact' "$long/fuzz-0.log" || true
    done
    exit $status
    ;;
  release)
    shift
    xrelease "$@"
    ;;
  *)
    echo "usage: $0 build|test|demo|bench|fuzz [RUNS]|release ARGS..." >&2
    exit 2
    ;;
esac
