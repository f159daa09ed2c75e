# The engine's own file formats: classification assistant file (.acf), sample file
# (.cif), area-of-interest file (.aif), and the I/O helpers they share.
target_sources(tesseraengine PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/aiffile.cpp
  ${CMAKE_CURRENT_LIST_DIR}/classifiedassistantfile.cpp
  ${CMAKE_CURRENT_LIST_DIR}/classifysamplefile.cpp
  ${CMAKE_CURRENT_LIST_DIR}/formatio.cpp)
