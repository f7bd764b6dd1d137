# Instrumented configurations, each in a build tree of its own (see tools/sanitize.sh and
# tools/fuzz.sh); the flags apply to every target, the bundled GoogleTest included.
#   KWLINK_SANITIZE=address,undefined   AddressSanitizer + UndefinedBehaviorSanitizer
#   KWLINK_SANITIZE=thread              ThreadSanitizer
#   KWLINK_FUZZ=ON                      the libFuzzer targets of tests/fuzz (clang only)
# Every report ends the program (-fno-sanitize-recover=all).
set(KWLINK_SANITIZE "" CACHE STRING "Sanitizers for every target (address,undefined or thread)")
option(KWLINK_FUZZ "Build the libFuzzer targets (clang)" OFF)

if(KWLINK_SANITIZE)
    add_compile_options(-fsanitize=${KWLINK_SANITIZE} -fno-sanitize-recover=all
        -fno-omit-frame-pointer -g)
    add_link_options(-fsanitize=${KWLINK_SANITIZE})
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
        # GCC's instrumentation makes its uninitialised-use analysis report false positives
        # inside the standard library (std::regex, std::function).
        add_compile_options(-Wno-maybe-uninitialized)
    endif()
endif()

if(KWLINK_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "KWLINK_FUZZ needs clang: configure with CC=clang CXX=clang++")
    endif()
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
        -fno-omit-frame-pointer -g)
    add_link_options(-fsanitize=address,undefined)
endif()
