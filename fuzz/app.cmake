# Fuzz targets for the list files and the map file. Included by
# fuzz/CMakeLists.txt, which defines orvalis_add_fuzzer
# and the source lists the targets share.

orvalis_add_fuzzer(fuzz_list_file
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/app_list_file.cpp
          ${ORV_FUZZ_LIST_FILES}
  LIBS Qt6::Core)

orvalis_add_fuzzer(fuzz_map_file
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/app_map_file.cpp
          ${ORV_FUZZ_MAP_FILES}
          ${ORV_FUZZ_LIST_FILES}
  LIBS Qt6::Core Qt6::Gui)
