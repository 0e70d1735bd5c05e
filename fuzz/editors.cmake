# Fuzz targets for the editors' files and texts: object files and the
# current-status list, register files and lines, the panel layout lines and
# script text. Included by fuzz/CMakeLists.txt, which defines orvalis_add_fuzzer
# and the source lists the targets share.

orvalis_add_fuzzer(fuzz_object_store
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/editors_object_store.cpp
          ${ORV_FUZZ_SRC}/editors/ObjectStore.cpp
          ${ORV_FUZZ_MAP_FILES}
          ${ORV_FUZZ_LIST_FILES}
  LIBS Qt6::Core Qt6::Gui)

orvalis_add_fuzzer(fuzz_registers
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/editors_registers.cpp
          ${ORV_FUZZ_SRC}/editors/Registers.cpp
          ${ORV_FUZZ_SRC}/editors/ScriptText.cpp
          ${ORV_FUZZ_LIST_FILES}
  LIBS Qt6::Core)

orvalis_add_fuzzer(fuzz_panel_layout
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/editors_panel_layout.cpp
          ${ORV_FUZZ_SRC}/editors/PanelLayout.cpp
          ${ORV_FUZZ_LIST_FILES}
  LIBS Qt6::Core Qt6::Gui)

orvalis_add_fuzzer(fuzz_script_text
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/editors_script_text.cpp
          ${ORV_FUZZ_SRC}/editors/ScriptText.cpp
          ${ORV_FUZZ_SRC}/core/Cp1252.cpp
  LIBS Qt6::Core)
