# Fuzz target for the map check of the command line. Included by
# fuzz/CMakeLists.txt, which defines orvalis_add_fuzzer.
set(ORV_FUZZ_SRC ${CMAKE_CURRENT_LIST_DIR}/../src)
if(NOT TARGET Qt6::Gui)
  find_package(Qt6 REQUIRED COMPONENTS Core Gui)
endif()

orvalis_add_fuzzer(fuzz_map_check
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/cli_map_check.cpp
          ${ORV_FUZZ_SRC}/cli/MapCheck.cpp
          ${ORV_FUZZ_SRC}/map/MapExits.cpp
          ${ORV_FUZZ_SRC}/map/MapModel.cpp
          ${ORV_FUZZ_SRC}/map/TileSet.cpp
          ${ORV_FUZZ_SRC}/map/MapCompiler.cpp
          ${ORV_FUZZ_SRC}/core/ListFile.cpp ${ORV_FUZZ_SRC}/core/DurableWrite.cpp
          ${ORV_FUZZ_SRC}/core/Cp1252.cpp
  LIBS Qt6::Core Qt6::Gui)
