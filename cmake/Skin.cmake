# The skin archive and the application manifest as resources of a program.
#
# zudedo_ui_resources(<target>): links the packed skin/ folder as resource
# "ZIPRES" IDR_SKIN_ARCHIVE (shell/resource_ids.h) and app/zudedo.manifest as the manifest (RT_MANIFEST 1).

find_package(Python3 COMPONENTS Interpreter REQUIRED)

set(ZUDEDO_SKIN_ZIP "${PROJECT_BINARY_DIR}/skin/skin.zip" CACHE INTERNAL "")
# The manifest carries the project version, as the version resource does.
set(ZUDEDO_MANIFEST "${PROJECT_BINARY_DIR}/app/zudedo.manifest" CACHE INTERNAL "")
configure_file("${PROJECT_SOURCE_DIR}/app/zudedo.manifest" "${ZUDEDO_MANIFEST}" @ONLY)

if(NOT TARGET zudedo_skin)
  file(GLOB_RECURSE _zudedo_skin_files CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/skin/*")
  add_custom_command(
    OUTPUT "${ZUDEDO_SKIN_ZIP}"
    COMMAND "${Python3_EXECUTABLE}" "${PROJECT_SOURCE_DIR}/tools/skinpack.py"
            "${PROJECT_SOURCE_DIR}/skin" "${ZUDEDO_SKIN_ZIP}"
    DEPENDS ${_zudedo_skin_files} "${PROJECT_SOURCE_DIR}/tools/skinpack.py"
    COMMENT "Packing the skin archive"
    VERBATIM)
  add_custom_target(zudedo_skin DEPENDS "${ZUDEDO_SKIN_ZIP}")
endif()

function(zudedo_ui_resources target)
  set(rc "${CMAKE_CURRENT_BINARY_DIR}/${target}_skin.rc")
  file(GENERATE OUTPUT "${rc}" CONTENT
"// Generated: the packed skin and the application manifest.
#include \"${PROJECT_SOURCE_DIR}/shell/resource_ids.h\"
IDR_SKIN_ARCHIVE ZIPRES \"${ZUDEDO_SKIN_ZIP}\"
1 24 \"${ZUDEDO_MANIFEST}\"
")
  target_sources(${target} PRIVATE "${rc}")
  set_source_files_properties("${rc}" TARGET_DIRECTORY ${target} PROPERTIES
    OBJECT_DEPENDS "${ZUDEDO_SKIN_ZIP};${ZUDEDO_MANIFEST};${PROJECT_SOURCE_DIR}/shell/resource_ids.h")
  add_dependencies(${target} zudedo_skin)
endfunction()
