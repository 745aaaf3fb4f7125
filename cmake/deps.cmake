# The third-party libraries, cross-built by scripts/build-deps.sh.
include_guard(GLOBAL)
set(ORVO_DEPS_DIR "${CMAKE_BINARY_DIR}/../deps" CACHE PATH "folder of the cross-built libraries")
get_filename_component(ORVO_DEPS_DIR "${ORVO_DEPS_DIR}" ABSOLUTE)

function(orvo_import name header_dir)
    add_library(${name} INTERFACE IMPORTED GLOBAL)
    target_include_directories(${name} INTERFACE "${header_dir}")
    set(libs)
    foreach(lib IN LISTS ARGN)
        list(APPEND libs "${lib}")
    endforeach()
    target_link_libraries(${name} INTERFACE ${libs})
endfunction()

orvo_import(dep_lame "${ORVO_DEPS_DIR}/lame/include" "${ORVO_DEPS_DIR}/lame/lib/libmp3lame.a")
# libFLAC's configure turns on the stack protector, whose checks live in libssp.
orvo_import(dep_flac "${ORVO_DEPS_DIR}/flac/include" "${ORVO_DEPS_DIR}/flac/lib/libFLAC.a" ssp)
target_compile_definitions(dep_flac INTERFACE FLAC__NO_DLL)  # linked statically
orvo_import(dep_id3lib "${ORVO_DEPS_DIR}/id3lib/include" "${ORVO_DEPS_DIR}/id3lib/lib/libid3.a" z)
target_compile_definitions(dep_id3lib INTERFACE ID3LIB_LINKOPTION=1)
orvo_import(dep_ffmpeg "${ORVO_DEPS_DIR}/ffmpeg/include"
    "${ORVO_DEPS_DIR}/ffmpeg/lib/libavformat.a"
    "${ORVO_DEPS_DIR}/ffmpeg/lib/libavcodec.a"
    "${ORVO_DEPS_DIR}/ffmpeg/lib/libavutil.a"
    bcrypt)
orvo_import(dep_gtest "${ORVO_DEPS_DIR}/gtest/include"
    "${ORVO_DEPS_DIR}/gtest/lib/libgmock.a"
    "${ORVO_DEPS_DIR}/gtest/lib/libgtest.a")
# libebur128: cross-built for Windows; the native tests take the system's.
if(WIN32)
    orvo_import(dep_ebur128 "${ORVO_DEPS_DIR}/ebur128/include" "${ORVO_DEPS_DIR}/ebur128/lib/libebur128.a")
else()
    add_library(dep_ebur128 INTERFACE IMPORTED GLOBAL)
    target_link_libraries(dep_ebur128 INTERFACE ebur128)
endif()
# nlohmann-json: headers only, the same for the Windows and the native build.
add_library(dep_json INTERFACE IMPORTED GLOBAL)
target_include_directories(dep_json INTERFACE "${ORVO_DEPS_DIR}/json/include")
