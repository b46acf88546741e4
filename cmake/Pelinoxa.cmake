# The subsystem folders, lowest first. A folder's library sees only its own headers and those
# of the folders before it, and links only libraries of those folders.
set(PELINOXA_LAYERS base ui formats project frames finish registration stacking wavelets app)

# A folder of links to the layers up to and including `name`: the library's include root, so an
# include of a higher folder's header fails to compile.
function(pelinoxa_layer_include_dir name out)
  list(FIND PELINOXA_LAYERS ${name} _level)
  if(_level LESS 0)
    message(FATAL_ERROR "${name} is not a layer: add it to PELINOXA_LAYERS")
  endif()
  set(_dir ${PROJECT_BINARY_DIR}/layers/${name})
  file(MAKE_DIRECTORY ${_dir})
  foreach(_i RANGE ${_level})
    list(GET PELINOXA_LAYERS ${_i} _layer)
    if(NOT EXISTS ${_dir}/${_layer})
      file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${_layer} ${_dir}/${_layer} SYMBOLIC)
    endif()
  endforeach()
  set(${out} ${_dir} PARENT_SCOPE)
endfunction()

# Fails the configuration when `target` of layer `name` links a library of a higher layer.
function(pelinoxa_check_links name)
  list(FIND PELINOXA_LAYERS ${name} _level)
  foreach(_dep IN LISTS ARGN)
    if(_dep MATCHES "^px_(.+)$")
      list(FIND PELINOXA_LAYERS ${CMAKE_MATCH_1} _depLevel)
      if(_depLevel GREATER_EQUAL _level)
        message(FATAL_ERROR "px_${name} may not link ${_dep}: ${CMAKE_MATCH_1} is not below ${name}")
      endif()
    endif()
  endforeach()
endfunction()

# One static library per subsystem folder; its sources are the folder's own .cpp files
# (subfolders are separate rooms). Public headers are included as "folder/Header.h".
function(pelinoxa_library name)
  cmake_parse_arguments(ARG "" "" "DEPS;PRIVATE_DEPS" ${ARGN})
  pelinoxa_check_links(${name} ${ARG_DEPS} ${ARG_PRIVATE_DEPS})
  file(GLOB _sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT _sources)
    set(_sources ${PROJECT_SOURCE_DIR}/cmake/empty.cpp)
  endif()
  add_library(px_${name} STATIC ${_sources})
  pelinoxa_layer_include_dir(${name} _include)
  target_include_directories(px_${name} PUBLIC ${_include})
  target_link_libraries(px_${name} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
endfunction()

# One test program per tests/ subfolder, registered with CTest.
function(pelinoxa_test_dir name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB _sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${name}/*.cpp)
  if(NOT _sources)
    return()
  endif()
  add_executable(test_${name} ${_sources})
  target_link_libraries(test_${name} PRIVATE ${ARG_DEPS} px_testsupport GTest::gtest GTest::gtest_main)
  target_compile_definitions(test_${name} PRIVATE
    PX_SOURCE_DIR="${PROJECT_SOURCE_DIR}" PX_BINARY_DIR="${PROJECT_BINARY_DIR}")
  gtest_discover_tests(test_${name} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()
