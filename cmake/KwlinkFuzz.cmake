# The libFuzzer targets: one executable fuzz_<name> per entry of tests/fuzz/fuzz_targets.cpp,
# all built by the target fuzz_all. The entries are linked as objects, so that the fake serial
# device among them replaces the platform's device in the link.
file(GLOB KWLINK_FUZZ_ENTRY_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/*.cpp)
list(FILTER KWLINK_FUZZ_ENTRY_SOURCES EXCLUDE REGEX "_test\\.cpp$")
add_library(kwlink_fuzz_entries OBJECT ${KWLINK_FUZZ_ENTRY_SOURCES})
target_link_libraries(kwlink_fuzz_entries PUBLIC kwlink_core)
target_include_directories(kwlink_fuzz_entries PUBLIC ${CMAKE_SOURCE_DIR}/tests)
kwlink_warnings(kwlink_fuzz_entries)

set(KWLINK_FUZZ_TARGETS job_string messages_res kwlink_cfg qt_trans csv_keyed csv_single_record
    csv_per_scale csv_per_scale_keyed record_decoding descriptions link_receive
    network_receive)
add_custom_target(fuzz_all)
foreach(name ${KWLINK_FUZZ_TARGETS})
    add_executable(fuzz_${name} ${CMAKE_SOURCE_DIR}/tests/fuzz/driver/fuzz_driver.cpp)
    target_compile_definitions(fuzz_${name} PRIVATE KWLINK_FUZZ_TARGET="${name}")
    target_link_libraries(fuzz_${name} PRIVATE kwlink_fuzz_entries kwlink_core)
    target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
    kwlink_warnings(fuzz_${name})
    add_dependencies(fuzz_${name} kwlink_data)
    add_dependencies(fuzz_all fuzz_${name})
endforeach()
