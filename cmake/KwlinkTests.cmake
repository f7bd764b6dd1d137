# Registers one GoogleTest executable per folder below tests/ (tests/<name>/*.cpp becomes
# <name>_tests). Shared test helpers live in tests/support/. Natively the executables run
# directly; in a Windows build each one runs under wine as one CTest test (wine's start-up
# costs about a second per process), inside one wine prefix and one wineserver that a
# fixture starts before and stops after the Windows tests. The Windows tests of the 32-bit
# build are named win32.<name>, those of the 64-bit build win64.<name>.

file(GLOB KWLINK_TEST_SUPPORT_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/support/*.cpp)
add_library(kwlink_test_support STATIC ${KWLINK_TEST_SUPPORT_SOURCES})
target_link_libraries(kwlink_test_support PUBLIC kwlink_core gtest gmock)
target_include_directories(kwlink_test_support PUBLIC ${CMAKE_SOURCE_DIR}/tests)
kwlink_warnings(kwlink_test_support)

set(KWLINK_WINE_RUN ${CMAKE_SOURCE_DIR}/tests/wine/wine-test.sh)
set(KWLINK_WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)
if(WIN32)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        set(KWLINK_WIN_BITS 64)
    else()
        set(KWLINK_WIN_BITS 32)
    endif()
    set(win win${KWLINK_WIN_BITS})
    # The wine fixture makes the prefix with the word size of the build that owns it.
    file(WRITE ${CMAKE_BINARY_DIR}/wine-bits "${KWLINK_WIN_BITS}\n")
endif()
# Where the native build lies; the Windows tests use its simulated scale.
set(KWLINK_NATIVE_BIN "" CACHE PATH "bin directory of the native build (Windows tests use its tools)")

if(WIN32)
    add_executable(wine-idle ${CMAKE_SOURCE_DIR}/tests/wine/wine_idle.c)
    kwlink_link_runtime(wine-idle)
    add_executable(kwlink-launch ${CMAKE_SOURCE_DIR}/tests/wine/kwlink_launch.c)
    kwlink_link_runtime(kwlink-launch)
    add_test(NAME ${win}.wine-start
        COMMAND bash ${KWLINK_WINE_RUN} start ${KWLINK_WINE_PREFIX} $<TARGET_FILE:wine-idle>)
    set_tests_properties(${win}.wine-start PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
    add_test(NAME ${win}.wine-stop COMMAND bash ${KWLINK_WINE_RUN} stop ${KWLINK_WINE_PREFIX})
    set_tests_properties(${win}.wine-stop PROPERTIES FIXTURES_CLEANUP wine)
endif()

file(GLOB KWLINK_TEST_DIRS LIST_DIRECTORIES true ${CMAKE_SOURCE_DIR}/tests/*)
foreach(dir ${KWLINK_TEST_DIRS})
    get_filename_component(name ${dir} NAME)
    if(NOT IS_DIRECTORY ${dir} OR name STREQUAL "support")
        continue()
    endif()
    # The kept fuzz inputs are replayed natively only (the parsers are the same code).
    if(WIN32 AND name STREQUAL "fuzz")
        continue()
    endif()
    file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
    if(NOT sources)
        continue()
    endif()
    add_executable(${name}_tests ${sources})
    if(name STREQUAL "fuzz")
        target_compile_definitions(fuzz_tests PRIVATE
            KWLINK_FUZZ_DATA_DIR="${CMAKE_SOURCE_DIR}/tests/fuzz")
    endif()
    target_link_libraries(${name}_tests PRIVATE kwlink_test_support gmock_main)
    kwlink_warnings(${name}_tests)
    kwlink_link_runtime(${name}_tests)
    add_dependencies(${name}_tests kwlink_data)
    if(TARGET kwlink-scale-sim)
        add_dependencies(${name}_tests kwlink-scale-sim kwlink)
    endif()
    if(WIN32 AND name STREQUAL "link")
        # The link tests talk to simulated scales that a wrapper starts around the wine run.
        add_test(NAME ${win}.${name}
            COMMAND bash ${CMAKE_SOURCE_DIR}/tests/link/wine_link_tests.sh ${KWLINK_WINE_RUN}
                ${KWLINK_WINE_PREFIX} $<TARGET_FILE:${name}_tests> ${KWLINK_NATIVE_BIN})
        set_tests_properties(${win}.${name} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 600)
    elseif(WIN32)
        add_test(NAME ${win}.${name}
            COMMAND bash ${KWLINK_WINE_RUN} run ${KWLINK_WINE_PREFIX} $<TARGET_FILE:${name}_tests>)
        set_tests_properties(${win}.${name} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 600
            ENVIRONMENT "KWLINK_NATIVE_BIN=${KWLINK_NATIVE_BIN}")
    else()
        add_test(NAME ${name} COMMAND ${name}_tests WORKING_DIRECTORY ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
        # The label "unit" is the quick check's set (tools/check.sh: ctest -L unit).
        set_tests_properties(${name} PROPERTIES TIMEOUT 600 LABELS unit)
    endif()
endforeach()

# End-to-end tests: the programs against the simulated scale on a pseudo-terminal.
find_package(Python3 COMPONENTS Interpreter)
# The layer check (tools/check-layers.py): its own tests, and this tree.
if(NOT WIN32 AND Python3_FOUND)
    add_test(NAME layers COMMAND ${Python3_EXECUTABLE} -m unittest -v test_check_layers
        WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/tools)
    set_tests_properties(layers PROPERTIES TIMEOUT 120 LABELS unit
        ENVIRONMENT "PYTHONDONTWRITEBYTECODE=1")
endif()
if(NOT WIN32 AND Python3_FOUND AND TARGET kwlink-scale-sim)
    add_test(NAME e2e COMMAND ${Python3_EXECUTABLE} -m unittest -v test_jobs test_data_faults
        WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/e2e)
    set_tests_properties(e2e PROPERTIES TIMEOUT 900
        ENVIRONMENT "KWLINK_BIN=${CMAKE_RUNTIME_OUTPUT_DIRECTORY};PYTHONDONTWRITEBYTECODE=1")
    # The fault matrix: a faulty scale, a full or vanishing working directory, a killed write
    # phase, two jobs at once (the full file system row needs root for its tmpfs).
    add_test(NAME e2e.faults COMMAND ${Python3_EXECUTABLE} -m unittest -v test_faults
        WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/e2e)
    set_tests_properties(e2e.faults PROPERTIES TIMEOUT 900
        ENVIRONMENT "KWLINK_BIN=${CMAKE_RUNTIME_OUTPUT_DIRECTORY};PYTHONDONTWRITEBYTECODE=1")
    # Scales on the network: jobs and faults behind ser2net and python3-serial's RFC 2217 server.
    add_test(NAME e2e.network COMMAND ${Python3_EXECUTABLE} -m unittest -v test_network
        WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/e2e)
    set_tests_properties(e2e.network PROPERTIES TIMEOUT 900
        ENVIRONMENT "KWLINK_BIN=${CMAKE_RUNTIME_OUTPUT_DIRECTORY};PYTHONDONTWRITEBYTECODE=1")
endif()

if(WIN32 AND Python3_FOUND)
    add_test(NAME ${win}.e2e
        COMMAND bash ${KWLINK_WINE_RUN} exec ${KWLINK_WINE_PREFIX}
            ${Python3_EXECUTABLE} -m unittest -v test_wine
        WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/e2e)
    set_tests_properties(${win}.e2e PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 900
        ENVIRONMENT "KWLINK_BIN=${KWLINK_NATIVE_BIN};KWLINK_WIN_BIN=${CMAKE_RUNTIME_OUTPUT_DIRECTORY};PYTHONDONTWRITEBYTECODE=1")
    add_test(NAME ${win}.e2e.network
        COMMAND bash ${KWLINK_WINE_RUN} exec ${KWLINK_WINE_PREFIX}
            ${Python3_EXECUTABLE} -m unittest -v test_wine_network
        WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/e2e)
    set_tests_properties(${win}.e2e.network PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 900
        ENVIRONMENT "KWLINK_BIN=${KWLINK_NATIVE_BIN};KWLINK_WIN_BIN=${CMAKE_RUNTIME_OUTPUT_DIRECTORY};PYTHONDONTWRITEBYTECODE=1")
endif()

# The native CTest run also runs the tests of one Windows build lying beside it (build/win32 or
# build/win64), so that one summary covers both targets. Which one is decided when CTest starts,
# by the wine fixture's `choose`: the 32-bit build where this host runs 32-bit programs, the
# 64-bit build under wine64 where it cannot, or what KWLINK_WINE_ARCH says. CTest prints the
# choice and its reason in one line. The sanitizer trees (build/asan, build/tsan) run the native
# tests only.
if(NOT WIN32 AND NOT KWLINK_SANITIZE)
    get_filename_component(builds_dir ${CMAKE_BINARY_DIR}/.. ABSOLUTE)
    file(WRITE ${CMAKE_BINARY_DIR}/windows-tests.cmake "\
execute_process(COMMAND bash \"${KWLINK_WINE_RUN}\" choose
    OUTPUT_VARIABLE choice OUTPUT_STRIP_TRAILING_WHITESPACE)
string(FIND \"\${choice}\" \"\\n\" eol)
string(SUBSTRING \"\${choice}\" 0 \${eol} bits)
math(EXPR eol \"\${eol} + 1\")
string(SUBSTRING \"\${choice}\" \${eol} -1 why)
set(dir \"${builds_dir}/win\${bits}\")
if(bits STREQUAL \"0\")
    message(\"\${why}\")
    add_test(windows-word-size \"${CMAKE_COMMAND}\" -E false)
elseif(EXISTS \"\${dir}/CTestTestfile.cmake\")
    message(\"\${why}\")
    subdirs(\"\${dir}\")
elseif(EXISTS \"${builds_dir}/win32/CTestTestfile.cmake\" OR EXISTS \"${builds_dir}/win64/CTestTestfile.cmake\")
    message(\"\${why}; but \${dir} is not built: no Windows tests\")
    add_test(windows-build-missing \"${CMAKE_COMMAND}\" -E false)
endif()
")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${CMAKE_BINARY_DIR}/windows-tests.cmake)
endif()

# Tests of the release packages: the ones tools/package.sh left in build/packages/, or packages
# that cpack makes from this tree for the test only (the test says which it checks). Sanitizer
# builds leave them out: the packages hold the Release programs, which the main run has checked.
if(Python3_FOUND AND NOT KWLINK_SANITIZE)
    set(KWLINK_PACKAGE_TEST_ENV "KWLINK_PACKAGES=${CMAKE_SOURCE_DIR}/build/packages"
        "KWLINK_BUILD_TREE=${CMAKE_BINARY_DIR}" "PYTHONDONTWRITEBYTECODE=1")
    if(NOT WIN32)
        add_test(NAME package.deb COMMAND ${Python3_EXECUTABLE} -m unittest -v test_deb
            WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/package)
        set_tests_properties(package.deb PROPERTIES TIMEOUT 600
            ENVIRONMENT "${KWLINK_PACKAGE_TEST_ENV};KWLINK_BIN=${CMAKE_RUNTIME_OUTPUT_DIRECTORY}")
    else()
        add_test(NAME ${win}.package-zip
            COMMAND bash ${KWLINK_WINE_RUN} exec ${KWLINK_WINE_PREFIX}
                ${Python3_EXECUTABLE} -m unittest -v test_zip
            WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/package)
        set_tests_properties(${win}.package-zip PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 600
            ENVIRONMENT "${KWLINK_PACKAGE_TEST_ENV};KWLINK_BIN=${KWLINK_NATIVE_BIN};KWLINK_WINDOWS_ARCH=${kwlink_windows_arch}")
    endif()
endif()
