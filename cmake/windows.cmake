# The Windows program, its test builds and the tests that run under Wine.
include(cmake/deps.cmake)

set(ORVO_WARNINGS -Wall -Wextra -Wno-cast-function-type -Wno-unused-parameter)
set(ORVO_SYSTEM_LIBS comctl32 uxtheme ole32 shell32 advapi32 wininet bcrypt gdi32 user32 kernel32)
add_link_options(-static -static-libgcc -static-libstdc++ $<$<CONFIG:Release>:-s>)

# The skin library.
add_library(skin STATIC skin/skin.cpp)
target_include_directories(skin PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(skin PUBLIC comctl32 uxtheme gdi32 user32)
target_compile_options(skin PRIVATE ${ORVO_WARNINGS})

# The audio-CD/WMA library, one variant per drive back end.
function(orvo_add_cdlib name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEFINES" ${ARGN})
    add_library(${name} STATIC
        ${CMAKE_SOURCE_DIR}/cdlib/cdlib.cpp
        ${CMAKE_SOURCE_DIR}/cdlib/cd_common.cpp
        ${CMAKE_SOURCE_DIR}/cdlib/wma_writer.cpp
        ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
    target_compile_definitions(${name} PRIVATE ${ARG_DEFINES})
    target_compile_options(${name} PRIVATE ${ORVO_WARNINGS})
    target_link_libraries(${name} PUBLIC cdlib_core dep_ffmpeg)
endfunction()
orvo_add_cdlib(cdlib_none SOURCES ${CMAKE_SOURCE_DIR}/cdlib/drives_none.cpp)
orvo_add_cdlib(cdlib_images SOURCES ${CMAKE_SOURCE_DIR}/cdlib/drives_image.cpp)
orvo_add_cdlib(cdlib_optical SOURCES ${CMAKE_SOURCE_DIR}/cdlib/drives_optical.cpp ${CMAKE_SOURCE_DIR}/cdlib/optical_reads.cpp)

# Everything of the program but its entry point and the library behind it.
add_library(orvo_app STATIC
    app/code_page.cpp
    app/digest.cpp
    app/globals.cpp
    app/guard.cpp
    app/log.cpp
    app/settings.cpp
    app/whole_file.cpp
    cd/library_error.cpp
    cd/refresh_worker.cpp
    lookup/cover_art.cpp
    lookup/lookup_worker.cpp
    lookup/mb_lookup.cpp
    lookup/web.cpp
    proof/accurate_rip_check.cpp
    proof/accurate_rip_offset.cpp
    rip/capture.cpp
    proof/checksum_worker.cpp
    rip/encode_job.cpp
    rip/flac.cpp
    rip/mp3.cpp
    rip/replaygain.cpp
    rip/rip_worker.cpp
    proof/subchannel.cpp
    rip/tag_source.cpp
    ui/about.cpp
    ui/release_dialog.cpp
    ui/main_window.cpp
    ui/rip_dialogs.cpp
    ui/skinned.cpp
    ui/title_edit.cpp
    ui/wait.cpp
)
target_include_directories(orvo_app PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(orvo_app PUBLIC orvo_core skin dep_lame dep_flac dep_id3lib ${ORVO_SYSTEM_LIBS})
target_compile_options(orvo_app PRIVATE ${ORVO_WARNINGS})

set(ORVO_RESOURCES ${CMAKE_SOURCE_DIR}/res/orvo.rc)
set(ORVO_ANSI_RESOURCES ${CMAKE_SOURCE_DIR}/res/orvo_ansi.rc)
set_source_files_properties(${ORVO_RESOURCES} ${ORVO_ANSI_RESOURCES} PROPERTIES OBJECT_DEPENDS
    "${CMAKE_SOURCE_DIR}/res/orvo.manifest;${CMAKE_SOURCE_DIR}/res/orvo-ansi.manifest;${CMAKE_SOURCE_DIR}/res/resource.h;${CMAKE_SOURCE_DIR}/res/orvo.rc")

# One program per audio-CD library variant (RESOURCES: other than the usual).
function(orvo_add_program name cdlib)
    cmake_parse_arguments(ARG "" "RESOURCES" "" ${ARGN})
    if(NOT ARG_RESOURCES)
        set(ARG_RESOURCES ${ORVO_RESOURCES})
    endif()
    add_executable(${name} WIN32 ${CMAKE_SOURCE_DIR}/app/main.cpp ${ARG_RESOURCES})
    target_link_libraries(${name} PRIVATE -Wl,--start-group orvo_app ${cdlib} -Wl,--end-group)
    target_compile_options(${name} PRIVATE ${ORVO_WARNINGS})
endfunction()
orvo_add_program(OrvoCdRipper cdlib_optical)
orvo_add_program(OrvoCdRipperSim cdlib_images)  # drives are the disc images in "discs"

# The release packages: the program for users, and its source for relinking.
set(ORVO_RELEASE_DIR ${CMAKE_BINARY_DIR}/release)
set(ORVO_RELEASE_ZIP ${ORVO_RELEASE_DIR}/OrvoCdRipper-${PROJECT_VERSION}-win64.zip)
add_custom_command(OUTPUT ${ORVO_RELEASE_ZIP} ${ORVO_RELEASE_DIR}/OrvoCdRipper-${PROJECT_VERSION}-source.zip
    COMMAND /usr/bin/python3 ${CMAKE_SOURCE_DIR}/tools/make_release.py ${PROJECT_VERSION}
        $<TARGET_FILE:OrvoCdRipper> ${CMAKE_SOURCE_DIR} ${ORVO_DEPS_DIR}/src ${ORVO_RELEASE_DIR}
    DEPENDS OrvoCdRipper ${CMAKE_SOURCE_DIR}/tools/make_release.py ${CMAKE_SOURCE_DIR}/LICENSE
        ${CMAKE_SOURCE_DIR}/docs/release/README.txt ${CMAKE_SOURCE_DIR}/docs/release/RELINK.txt
    COMMENT "Making the release packages")
add_custom_target(release ALL DEPENDS ${ORVO_RELEASE_ZIP})

add_subdirectory(tests)

# The sample disc the simulation build plays, in "discs" beside the programs.
set(ORVO_SAMPLE_CUE "${CMAKE_BINARY_DIR}/discs/Orvo Sample Disc.cue")
add_custom_command(OUTPUT "${ORVO_SAMPLE_CUE}"
    COMMAND python3 "${CMAKE_SOURCE_DIR}/tools/make_sample_disc.py" "${CMAKE_BINARY_DIR}/discs"
    DEPENDS "${CMAKE_SOURCE_DIR}/tools/make_sample_disc.py"
    COMMENT "Making the sample disc image")
add_custom_target(sample_disc ALL DEPENDS "${ORVO_SAMPLE_CUE}")
