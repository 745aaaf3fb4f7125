# Native build of the platform-free code: unit tests under AddressSanitizer
# and UndefinedBehaviorSanitizer.
find_package(GTest REQUIRED)
set(ORVO_SANITIZE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
target_compile_options(orvo_core PRIVATE ${ORVO_SANITIZE} -g)
target_compile_options(cdlib_core PRIVATE ${ORVO_SANITIZE} -g)

add_executable(core_tests
    tests/app/log_format_test.cpp
    tests/app/settings_rules_test.cpp
    tests/app/program_dir_test.cpp
    tests/cdlib/cdtext_test.cpp
    tests/cdlib/cue_test.cpp
)
target_compile_options(core_tests PRIVATE ${ORVO_SANITIZE} -g)
target_link_options(core_tests PRIVATE ${ORVO_SANITIZE})
target_link_libraries(core_tests PRIVATE orvo_core cdlib_core GTest::gtest GTest::gtest_main pthread)
add_test(NAME core_tests COMMAND core_tests)

# Disc ids and TOCs against libdiscid and libcdio's cd-info.
add_executable(discid_test tests/cdlib/discid_test.cpp)
target_compile_options(discid_test PRIVATE ${ORVO_SANITIZE} -g)
target_link_options(discid_test PRIVATE ${ORVO_SANITIZE})
target_link_libraries(discid_test PRIVATE cdlib_core discid GTest::gtest GTest::gtest_main pthread)
add_test(NAME discid_test COMMAND discid_test)
