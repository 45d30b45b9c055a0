# The Windows tree's second half: the stand-in host and the tests, built by a
# nested tree with the posix threading variant into the same output folder,
# and the tests registered to run in Wine.

include(ExternalProject)
# The nested tree targets what this one targets: it takes the same toolchain
# file, made absolute since a relative one is looked up from the build folder.
if(EXISTS ${CMAKE_BINARY_DIR}/${CMAKE_TOOLCHAIN_FILE})
  get_filename_component(korv_toolchain_file ${CMAKE_TOOLCHAIN_FILE} ABSOLUTE BASE_DIR ${CMAKE_BINARY_DIR})
else()
  get_filename_component(korv_toolchain_file ${CMAKE_TOOLCHAIN_FILE} ABSOLUTE BASE_DIR ${CMAKE_SOURCE_DIR})
endif()
set(korv_host_tree_args)
if(DEFINED CACHE{KORV_SHARED_MESHES_DIR})
  list(APPEND korv_host_tree_args -DKORV_SHARED_MESHES_DIR=${KORV_SHARED_MESHES_DIR})
endif()
ExternalProject_Add(korv_windows_host
  SOURCE_DIR ${CMAKE_SOURCE_DIR}
  BINARY_DIR ${CMAKE_BINARY_DIR}/host-tree
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${korv_toolchain_file}
    -DKORV_MINGW_THREADS=posix
    -DKORV_MODULE=OFF
    -DKORV_TESTS=ON
    -DKORV_OUTPUT_DIR=${KORV_OUTPUT_DIR}
    -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
    -DKORV_WERROR=${KORV_WERROR}
    ${korv_host_tree_args}
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON
  USES_TERMINAL_CONFIGURE ON
  USES_TERMINAL_BUILD ON)

# Each test program runs whole in one Wine start; scripts/wine-run keeps a
# prefix of its own in the build folder and needs no display.
set(KORV_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix CACHE PATH "Wine prefix for running the Windows tests")
foreach(program korv-unit korv-e2e)
  add_test(NAME windows.${program}
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-run ${KORV_WINE_PREFIX} ${KORV_OUTPUT_DIR}/${program}.exe
    WORKING_DIRECTORY ${KORV_OUTPUT_DIR})
  set_tests_properties(windows.${program} PROPERTIES LABELS windows)
endforeach()

# The module file's form: PE32 for i386 or PE32+ for x86-64, the one export,
# system imports only.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(korv_pe_machine x86-64)
else()
  set(korv_pe_machine i386)
endif()
add_test(NAME windows.ModuleFileForm
  COMMAND ${CMAKE_SOURCE_DIR}/tests/check_pe_module.sh $<TARGET_FILE:Korv_Edge> ${korv_pe_machine})
set_tests_properties(windows.ModuleFileForm PROPERTIES LABELS windows)
if(TARGET Korv_EdgeNode)
  add_test(NAME windows.NodeModuleFileForm
    COMMAND ${CMAKE_SOURCE_DIR}/tests/check_pe_module.sh $<TARGET_FILE:Korv_EdgeNode>
      ${korv_pe_machine})
  set_tests_properties(windows.NodeModuleFileForm PROPERTIES LABELS windows)
endif()
