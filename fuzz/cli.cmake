# Fuzz target for the map check of the command line. Included by
# fuzz/CMakeLists.txt, which defines orvalis_add_fuzzer
# and the source lists the targets share.

orvalis_add_fuzzer(fuzz_map_check
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/cli_map_check.cpp
          ${ORV_FUZZ_SRC}/document/MapCheck.cpp
          ${ORV_FUZZ_SRC}/map/MapExits.cpp
          ${ORV_FUZZ_MAP_FILES}
          ${ORV_FUZZ_LIST_FILES}
  LIBS Qt6::Core Qt6::Gui)
