# What the cross build for Windows takes from the build machine instead of
# packages: the header-only libraries from /usr/include, tinyobjloader's single
# header compiled here, and GoogleTest built from its sources.

set(KORV_HOST_INCLUDE_DIR /usr/include CACHE PATH
  "Where nlohmann/json.hpp and tiny_obj_loader.h are found")
set(KORV_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH
  "GoogleTest sources, built for the target")

# Only the needed headers are linked into a folder of their own: putting the
# build machine's /usr/include on the cross compiler's path would shadow the
# target's C library headers.
set(korv_staged ${CMAKE_BINARY_DIR}/third_party/include)
file(MAKE_DIRECTORY ${korv_staged})
foreach(entry nlohmann tiny_obj_loader.h)
  if(NOT EXISTS ${KORV_HOST_INCLUDE_DIR}/${entry})
    message(FATAL_ERROR "${KORV_HOST_INCLUDE_DIR}/${entry} is missing (nlohmann-json3-dev, libtinyobjloader-dev)")
  endif()
  if(NOT EXISTS ${korv_staged}/${entry})
    file(CREATE_LINK ${KORV_HOST_INCLUDE_DIR}/${entry} ${korv_staged}/${entry} SYMBOLIC COPY_ON_ERROR)
  endif()
endforeach()

add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES ${korv_staged}
  INTERFACE_SYSTEM_INCLUDE_DIRECTORIES ${korv_staged})

set(korv_tinyobj_source ${CMAKE_BINARY_DIR}/third_party/tiny_obj_loader.cpp)
file(CONFIGURE OUTPUT ${korv_tinyobj_source} CONTENT
  "#define TINYOBJLOADER_IMPLEMENTATION\n#include <tiny_obj_loader.h>\n")
add_library(korv_tinyobjloader STATIC ${korv_tinyobj_source})
target_include_directories(korv_tinyobjloader SYSTEM PUBLIC ${korv_staged})
target_compile_options(korv_tinyobjloader PRIVATE -w)
add_library(tinyobjloader::tinyobjloader ALIAS korv_tinyobjloader)

if(KORV_TESTS)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${KORV_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  foreach(lib gtest gtest_main gmock gmock_main)
    target_compile_options(${lib} PRIVATE -w)
  endforeach()
endif()
