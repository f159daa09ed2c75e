# tessera_library(NAME SHARED|STATIC|OBJECT FOLDERS f... [LINK deps...])
#
# A library is the sources of its folders. It publishes only those folders:
# each is reached through a link under build/include/NAME/, so an include of
# a folder the library does not link ("platform/xdialog.h" from processing)
# does not resolve and the layering is checked by every build.
function(tessera_publish target)
  set(root ${CMAKE_BINARY_DIR}/include/${target})
  file(MAKE_DIRECTORY ${root})
  foreach(folder IN LISTS ARGN)
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
  endforeach()
  target_include_directories(${target} PUBLIC ${root})
endfunction()

function(tessera_library name type)
  cmake_parse_arguments(ARG "" "" "FOLDERS;LINK;EXCLUDE" ${ARGN})
  set(patterns)
  foreach(folder IN LISTS ARG_FOLDERS)
    list(APPEND patterns ${CMAKE_SOURCE_DIR}/${folder}/*.cpp ${CMAKE_SOURCE_DIR}/${folder}/*.h)
  endforeach()
  file(GLOB sources CONFIGURE_DEPENDS ${patterns})
  foreach(excluded IN LISTS ARG_EXCLUDE)
    list(REMOVE_ITEM sources ${CMAKE_SOURCE_DIR}/${excluded})
  endforeach()
  add_library(${name} ${type} ${sources})
  tessera_publish(${name} ${ARG_FOLDERS})
  target_link_libraries(${name} PUBLIC ${ARG_LINK})
endfunction()
