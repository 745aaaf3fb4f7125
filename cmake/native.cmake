# Native build of the platform-free code: unit tests under AddressSanitizer
# and UndefinedBehaviorSanitizer.
find_package(GTest REQUIRED)
set(ORVO_SANITIZE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
target_compile_options(orvo_core PRIVATE ${ORVO_SANITIZE} -g)
target_compile_options(cdlib_core PRIVATE ${ORVO_SANITIZE} -g)

add_executable(core_tests
    tests/app/app_test.cpp
    tests/cd/track_rows_test.cpp
    tests/cdlib/cdtext_test.cpp
    tests/cdlib/cue_test.cpp
    tests/lookup/accuraterip_test.cpp
    tests/lookup/cddb_test.cpp
    tests/lookup/musicbrainz_test.cpp
    tests/rip/names_test.cpp
    tests/rip/replaygain_test.cpp
    tests/proof/proof_test.cpp
)
target_compile_options(core_tests PRIVATE ${ORVO_SANITIZE} -g)
target_compile_definitions(core_tests PRIVATE ORVO_TESTS_DIR="${CMAKE_SOURCE_DIR}/tests")
target_link_options(core_tests PRIVATE ${ORVO_SANITIZE})
# libcrypto's SHA-1 and SHA-256 stand in for the system's, to check disc ids
# and the rip log's checksum whole.
target_link_libraries(core_tests PRIVATE orvo_core cdlib_core GTest::gtest GTest::gtest_main pthread crypto)
add_test(NAME core_tests COMMAND core_tests)

# libFuzzer targets for the parsers; each runs for a bounded time in the
# tests, from committed seeds and a dictionary that reach the parsers' limits.
set(ORVO_FUZZ_SECONDS 15 CACHE STRING "how long each fuzz target runs in the tests")
# The parsers themselves are built again with coverage instrumentation:
# without it the fuzzer sees only its target's few lines and mutates blind.
foreach(lib orvo_core cdlib_core)
    get_target_property(sources ${lib} SOURCES)
    add_library(${lib}_fuzz STATIC ${sources})
    target_include_directories(${lib}_fuzz PUBLIC ${CMAKE_SOURCE_DIR})
    target_link_libraries(${lib}_fuzz PRIVATE dep_json PUBLIC dep_ebur128)
    target_compile_options(${lib}_fuzz PRIVATE -fsanitize=fuzzer-no-link,address,undefined -g)
endforeach()
foreach(target cue disc cddb mb)
    add_executable(fuzz_${target} tests/fuzz/fuzz_${target}.cpp)
    target_compile_options(fuzz_${target} PRIVATE -fsanitize=fuzzer,address,undefined -g)
    target_link_options(fuzz_${target} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_libraries(fuzz_${target} PRIVATE orvo_core_fuzz cdlib_core_fuzz z)
    # New inputs go to the build's corpus; the committed seeds are only read.
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/corpus/${target})
    add_test(NAME fuzz_${target}
        COMMAND fuzz_${target} -max_total_time=${ORVO_FUZZ_SECONDS} -max_len=8192 -print_final_stats=0
                -dict=${CMAKE_SOURCE_DIR}/tests/fuzz/${target}.dict
                ${CMAKE_BINARY_DIR}/corpus/${target} ${CMAKE_SOURCE_DIR}/tests/fuzz/seeds/${target})
endforeach()
