# Windows target settings shared by every target of the client.

add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
                        _WIN32_WINNT=0x0601 WINVER=0x0601)

if(MINGW)
  # Static C and C++ runtime: the programs need no DLL beyond Windows' own.
  add_link_options(-static -static-libgcc -static-libstdc++
                   # ASLR with high-entropy addresses (keeps the relocation
                   # section) and DEP.
                   -Wl,--dynamicbase -Wl,--high-entropy-va -Wl,--nxcompat)
elseif(MSVC)
  add_compile_options(/utf-8)
  add_link_options(/DYNAMICBASE /HIGHENTROPYVA /NXCOMPAT)
  set(CMAKE_MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
endif()

# zudedo_warnings(<target>): the warning flags of every target of ours (the
# libraries from the dependency cache are built without them); errors with
# ZUDEDO_WERROR.
function(zudedo_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 $<$<BOOL:${ZUDEDO_WERROR}>:/WX>)
  else()
    target_compile_options(${target} PRIVATE
      -Wall -Wextra -Wno-unused-parameter -Wno-missing-field-initializers
      $<$<BOOL:${ZUDEDO_WERROR}>:-Werror>)
  endif()
endfunction()

# zudedo_windows_header(<target>): <windows.h>, which every file reads,
# parsed once: the lowest library precompiles it and the targets built with
# the same flags and definitions take its header. Only <windows.h>: with
# the standard library's headers precompiled as well, GCC 12 reports its
# own inlined string copies (-Warray-bounds) in optimised code.
function(zudedo_windows_header target)
  if(target STREQUAL "zudedo_shell")
    target_precompile_headers(${target} PRIVATE <windows.h>)
  else()
    target_precompile_headers(${target} REUSE_FROM zudedo_shell)
  endif()
endfunction()

# zudedo_library(<target>): one folder's library; its files include each
# other from the source root ("shell/text.h").
function(zudedo_library target)
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
  zudedo_warnings(${target})
  zudedo_windows_header(${target})
endfunction()

# Version resource compiled from the project version; the installer takes
# the same names (installer/CMakeLists.txt).
set(ZUDEDO_PRODUCT "云帆商务台")
set(ZUDEDO_COMPANY "TAVO")
set(ZUDEDO_COPYRIGHT "Copyright © 2026 TAVO")
set(ZUDEDO_VERSION_COMMA
    "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},${PROJECT_VERSION_TWEAK}")

# zudedo_version_resource(<target> <file description> <original file name> [a.b.c.d])
function(zudedo_version_resource target description filename)
  if(ARGC GREATER 3)
    string(REPLACE "." "," ZUDEDO_VERSION_COMMA "${ARGV3}")
    set(ZUDEDO_VERSION_TEXT "${ARGV3}")
  else()
    set(ZUDEDO_VERSION_TEXT "${PROJECT_VERSION}")
  endif()
  set(ZUDEDO_FILE_DESCRIPTION "${description}")
  set(ZUDEDO_ORIGINAL_FILENAME "${filename}")
  set(out "${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc")
  configure_file("${PROJECT_SOURCE_DIR}/cmake/version.rc.in" "${out}" @ONLY)
  target_sources(${target} PRIVATE "${out}")
endfunction()

# zudedo_app_resources(<target>): the icons and the notification sound.
function(zudedo_app_resources target)
  set(out "${CMAKE_CURRENT_BINARY_DIR}/${target}_resources.rc")
  configure_file("${PROJECT_SOURCE_DIR}/app/resources.rc.in" "${out}" @ONLY)
  target_sources(${target} PRIVATE "${out}")
endfunction()
