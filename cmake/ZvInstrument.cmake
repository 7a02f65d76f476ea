# Instrumented builds, each in a build folder of its own (scripts/jotboard.sh sanitize / fuzz).
#
# ZVJ_SANITIZE: sanitizers for every target of the build, e.g. "address,undefined". A
#   finding of UndefinedBehaviorSanitizer aborts (no recovery), so no test can pass over one.
# ZVJ_COVERAGE: gcov's line and branch counters in every target (GCC), read by gcovr after
#   a test run (scripts/jotboard.sh coverage). The sanitizer build carries them, so that
#   measuring coverage costs no build of its own.
# ZVJ_FUZZ: the fuzz build (clang only): every library is instrumented for libFuzzer's
#   coverage (and checked by AddressSanitizer and UndefinedBehaviorSanitizer), so the fuzzer
#   sees into the code under test; the fuzz targets alone link libFuzzer's driver.
# ZVJ_TEST_TIMEOUT_SCALE: factor on every test's time limit; instrumented code runs 2-5
#   times slower, and a limit sized for the plain build would fail it for nothing.
set(ZVJ_SANITIZE "" CACHE STRING "Sanitizers for every target (-fsanitize=...), e.g. address,undefined")
option(ZVJ_FUZZ "Build the libFuzzer targets, with the code under test instrumented (clang)" OFF)
option(ZVJ_COVERAGE "Count line and branch coverage in every target (gcov, GCC)" OFF)
set(ZVJ_TEST_TIMEOUT_SCALE 1 CACHE STRING "Factor on every test's time limit")

if(ZVJ_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        message(FATAL_ERROR "ZVJ_FUZZ needs clang (libFuzzer): configure with -DCMAKE_CXX_COMPILER=clang++")
    endif()
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
                        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
elseif(ZVJ_SANITIZE)
    add_compile_options(-fsanitize=${ZVJ_SANITIZE} -fno-omit-frame-pointer)
    if(ZVJ_SANITIZE MATCHES "undefined")
        add_compile_options(-fno-sanitize-recover=undefined)
    endif()
    add_link_options(-fsanitize=${ZVJ_SANITIZE})
endif()

if(ZVJ_COVERAGE)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
        message(FATAL_ERROR "ZVJ_COVERAGE needs GCC (gcov counters for gcovr)")
    endif()
    # Atomic counters: the tree's long passes run on two threads, and plain counters bumped
    # from both lose updates until gcov reads negative branch counts, which gcovr rejects.
    add_compile_options(--coverage -fprofile-update=atomic)
    add_link_options(--coverage -fprofile-update=atomic)
endif()

# zv_test_timeout(<var> <seconds>): the time limit of a test in this build.
function(zv_test_timeout VAR SECONDS)
    math(EXPR _scaled "${SECONDS} * ${ZVJ_TEST_TIMEOUT_SCALE}")
    set(${VAR} ${_scaled} PARENT_SCOPE)
endfunction()
