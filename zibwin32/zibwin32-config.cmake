# The zibwin32 package for CMake hosts. With the release's folder on
# CMAKE_PREFIX_PATH, find_package(zibwin32 1.0 CONFIG) gives the imported
# target zibwin32::zibwin32 of the project's architecture: the header's folder,
# the import library of the project's linker and the DLL, which is the
# target's location (copy it beside the host: $<TARGET_FILE:zibwin32::zibwin32>).
get_filename_component(_zibwin32_root "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
# The architecture by the target processor: arm64 and x64 are both 64-bit.
# MSVC names it in its architecture id, other toolchains in the processor.
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64|ARM64)$" OR
   CMAKE_C_COMPILER_ARCHITECTURE_ID STREQUAL "ARM64" OR
   CMAKE_CXX_COMPILER_ARCHITECTURE_ID STREQUAL "ARM64")
  set(_zibwin32_arch arm64)
elseif(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(_zibwin32_arch x64)
elseif(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(_zibwin32_arch x86)
else()
  set(zibwin32_FOUND FALSE)
  set(zibwin32_NOT_FOUND_MESSAGE "enable C or C++ in the project before find_package(zibwin32)")
  return()
endif()
# MSVC and clang-cl read zibwin32.lib; mingw's linkers libzibwin32.dll.a.
if(MSVC OR CMAKE_C_SIMULATE_ID STREQUAL "MSVC" OR CMAKE_CXX_SIMULATE_ID STREQUAL "MSVC")
  set(_zibwin32_implib "${_zibwin32_root}/${_zibwin32_arch}/zibwin32.lib")
else()
  set(_zibwin32_implib "${_zibwin32_root}/${_zibwin32_arch}/libzibwin32.dll.a")
endif()
set(_zibwin32_dll "${_zibwin32_root}/${_zibwin32_arch}/zibwin32.dll")
if(NOT EXISTS "${_zibwin32_dll}" OR NOT EXISTS "${_zibwin32_implib}")
  set(_zibwin32_has "")
  foreach(_zibwin32_other x86 x64 arm64)
    if(EXISTS "${_zibwin32_root}/${_zibwin32_other}/zibwin32.dll")
      list(APPEND _zibwin32_has ${_zibwin32_other})
    endif()
  endforeach()
  list(JOIN _zibwin32_has ", " _zibwin32_has)
  set(zibwin32_FOUND FALSE)
  set(zibwin32_NOT_FOUND_MESSAGE
      "this zibwin32 holds no ${_zibwin32_arch} DLL and import library; it holds: ${_zibwin32_has}")
  return()
endif()
if(NOT TARGET zibwin32::zibwin32)
  add_library(zibwin32::zibwin32 SHARED IMPORTED)
  set_target_properties(zibwin32::zibwin32 PROPERTIES
    IMPORTED_LOCATION "${_zibwin32_dll}"
    IMPORTED_IMPLIB "${_zibwin32_implib}"
    INTERFACE_INCLUDE_DIRECTORIES "${_zibwin32_root}/include")
endif()
unset(_zibwin32_root)
unset(_zibwin32_arch)
unset(_zibwin32_implib)
unset(_zibwin32_dll)
