#!/usr/bin/env bash
# Sets up a Debian 12 machine for Zorvik Jotboard, builds it, then:
#   run               installs and starts the program
#   test              runs every test (build/)
#   sanitize          runs every test built with AddressSanitizer and UndefinedBehaviorSanitizer
#                     (build-asan/); any finding, a leak included, fails
#   coverage          the same run, then the line and branch coverage of the unit tests per
#                     source folder (gcovr; the build-asan/ build carries the counters)
#   format            checks that every tracked C++ file is as clang-format makes it
#   fuzz [seconds]    runs each libFuzzer target that long (default 60) on the kept corpus
#                     (build-fuzz/, clang)
#   uninstall         removes the installed program, its menu entry and icons; never the data
# A mode installs only the Debian packages it needs and that are missing; a second run
# installs nothing and rebuilds only what changed.
set -euo pipefail

mode=${1:-run}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ZVJ_BUILD_DIR:-$root/build}
asan_build=${ZVJ_ASAN_BUILD_DIR:-$root/build-asan}
fuzz_build=${ZVJ_FUZZ_BUILD_DIR:-$root/build-fuzz}
prefix=${ZVJ_PREFIX:-${XDG_DATA_HOME:-$HOME/.local/share}/zorvik-jotboard}

build_packages=(
    cmake g++ make pkg-config
    qt6-base-dev qt6-multimedia-dev libgl-dev
    libsqlite3-dev libpugixml-dev zlib1g-dev libical-dev
    xdg-utils
    xvfb openbox wmctrl x11-utils xdotool trayer xclip imagemagick poppler-utils sqlite3 python3
    desktop-file-utils dbus
    qt6-wayland weston python3-dbus python3-gi python3-icalendar
    qtkeychain-qt6-dev
    radicale xandikos python3-caldav
)

# ensure_packages NAME...: installs those that are missing (with sudo when not root).
ensure_packages() {
    local missing=() p
    for p in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$p")
        fi
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing Debian packages: ${missing[*]}"
        local sudo=()
        [ "$(id -u)" -ne 0 ] && sudo=(sudo)
        "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update
        "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
    fi
}

werror=OFF
[ -n "${CI:-}" ] && werror=ON

# Instrumented code runs 2-5 times slower than the plain build: every test's time limit
# is scaled by this factor there, and the tests are told it (ZVJ_TIMEOUT_SCALE) for their
# own waits.
sanitize_timeout_scale=5

# What the sanitizers do with a finding: a leak, a memory error and undefined behaviour
# all end the process with a non-zero status, so the test fails. The suppressions file
# holds only leaks proven to be a library's, each with its proof. (GCC's UBSan runtime
# itself leaks the demangled type names of every downcast report it prints, 8 bytes each;
# since a report now ends the process at once, that leak never shows as a finding.)
export_sanitizer_options() {
    export ASAN_OPTIONS="detect_leaks=1:check_initialization_order=1:strict_init_order=1:detect_stack_use_after_return=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
    export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
    export LSAN_OPTIONS="suppressions=$root/tests/sanitizers/lsan.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
}

configure_and_build() { # folder, then extra CMake arguments
    local dir=$1
    shift
    cmake -S "$root" -B "$dir" -DCMAKE_INSTALL_PREFIX="$prefix" -DZVJ_WERROR=$werror "$@"
    cmake --build "$dir" -j2
}

# The sanitizer build also carries the coverage counters, so that CI measures coverage
# without a third build; sanitize and coverage configure it alike and never rebuild it for
# each other.
build_sanitized() {
    configure_and_build "$asan_build" -DCMAKE_BUILD_TYPE=Debug -DZVJ_SANITIZE=address,undefined \
        -DZVJ_COVERAGE=ON -DZVJ_TEST_TIMEOUT_SCALE=$sanitize_timeout_scale
}

# Every test of the sanitizer build. The counters start from zero, and the end-to-end
# scripts (tests named e2e_*) write theirs beside the build's, so that the counters in the
# build are those of the unit tests alone. Returns ctest's failure, after both runs.
run_sanitized_tests() {
    export_sanitizer_options
    find "$asan_build" -name '*.gcda' -delete
    rm -rf "$asan_build/e2e-coverage"
    cd "$asan_build"
    local status=0
    ctest --output-on-failure -j2 --timeout $((120 * sanitize_timeout_scale)) -E '^e2e_' || status=$?
    GCOV_PREFIX="$asan_build/e2e-coverage" \
        ctest --output-on-failure --timeout $((120 * sanitize_timeout_scale)) -R '^e2e_' || status=$?
    return $status
}

case "$mode" in
run)
    ensure_packages "${build_packages[@]}"
    configure_and_build "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
    cmake --install "$build"
    exec "$prefix/jotboard"
    ;;
test)
    ensure_packages "${build_packages[@]}"
    configure_and_build "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
    cd "$build"
    ctest --output-on-failure -j2
    ;;
sanitize)
    ensure_packages "${build_packages[@]}"
    build_sanitized
    run_sanitized_tests
    ;;
coverage)
    ensure_packages "${build_packages[@]}" gcovr
    build_sanitized
    status=0
    run_sanitized_tests || status=$?
    # Printed whatever the tests did: a failing run still shows what it covered.
    python3 "$root/scripts/coverage_table.py" "$root" "$asan_build"
    exit $status
    ;;
format)
    ensure_packages clang-format git
    cd "$root"
    # Every tracked C++ file that is still there (a deletion not yet committed is no file).
    files=()
    while IFS= read -r -d '' f; do
        [ -f "$f" ] && files+=("$f")
    done < <(git ls-files -z -- '*.cpp' '*.h')
    echo "Checking the formatting of ${#files[@]} files with $(clang-format --version)"
    clang-format --dry-run -Werror "${files[@]}"
    echo "Formatting: clean"
    ;;
fuzz)
    seconds=${2:-60}
    ensure_packages "${build_packages[@]}" clang-14 libclang-rt-14-dev
    # Optimised a little for speed, but with assertions and the durability checks of a
    # debug build. Warnings stay warnings here: this build alone uses clang, and its extra
    # warnings must not fail a submission that GCC (-Werror above) finds clean.
    werror=OFF
    cmake -S "$root" -B "$fuzz_build" -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
        -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" -DZVJ_FUZZ=ON -DZVJ_WERROR=$werror
    cmake --build "$fuzz_build" -j2 --target zvfuzzers
    exec "$root/tests/fuzz/run.sh" "$fuzz_build/tests/fuzz" "$seconds"
    ;;
uninstall)
    ensure_packages cmake
    exec cmake -DZVJ_PREFIX="$prefix" -P "$root/resources/desktop/uninstall.cmake"
    ;;
*)
    echo "usage: $0 run|test|sanitize|coverage|format|fuzz [seconds]|uninstall" >&2
    exit 2
    ;;
esac
