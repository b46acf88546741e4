# Fails when a file under SOURCE_DIR/src includes a header of a folder above its own:
#   cmake -DSOURCE_DIR=<tree> -P CheckLayers.cmake
# The order is the one the build uses; a subfolder belongs to its top folder (ui/qt is ui).
if(NOT SOURCE_DIR)
  message(FATAL_ERROR "usage: cmake -DSOURCE_DIR=<tree> -P CheckLayers.cmake")
endif()
include(${CMAKE_CURRENT_LIST_DIR}/Pelinoxa.cmake)
set(LAYERS ${PELINOXA_LAYERS})

set(_faults "")
foreach(_layer IN LISTS LAYERS)
  list(FIND LAYERS ${_layer} _level)
  file(GLOB_RECURSE _files ${SOURCE_DIR}/src/${_layer}/*.h ${SOURCE_DIR}/src/${_layer}/*.cpp)
  foreach(_file IN LISTS _files)
    file(STRINGS ${_file} _includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^/\"]+/")
    foreach(_line IN LISTS _includes)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^/\"]+)/.*$" "\\1" _target "${_line}")
      list(FIND LAYERS ${_target} _targetLevel)
      if(_targetLevel GREATER _level)
        file(RELATIVE_PATH _rel ${SOURCE_DIR} ${_file})
        string(APPEND _faults "\n  ${_rel}: ${_line} (${_target} is above ${_layer})")
      endif()
    endforeach()
  endforeach()
endforeach()

if(_faults)
  message(FATAL_ERROR "Includes that go upward:${_faults}")
endif()
