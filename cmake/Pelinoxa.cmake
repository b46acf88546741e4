# One static library per subsystem folder; its sources are the folder's own .cpp files
# (subfolders are separate rooms). Public headers are included as "folder/Header.h".
function(pelinoxa_library name)
  cmake_parse_arguments(ARG "" "" "DEPS;PRIVATE_DEPS" ${ARGN})
  file(GLOB _sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT _sources)
    set(_sources ${PROJECT_SOURCE_DIR}/cmake/empty.cpp)
  endif()
  add_library(px_${name} STATIC ${_sources})
  target_include_directories(px_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
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
