# Fuzz target for the recovery journal: the file the program reads at start
# from the user's state folder. Included by fuzz/CMakeLists.txt.

orvalis_add_fuzzer(fuzz_journal
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/document_journal.cpp
          ${ORV_FUZZ_SRC}/document/JournalFile.cpp
  LIBS Qt6::Core Qt6::Gui ZLIB::ZLIB)

# The adventure's files as the reference index reads them.
orvalis_add_fuzzer(fuzz_references
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/document_references.cpp
          ${ORV_FUZZ_SRC}/document/ReferenceIndex.cpp
          ${ORV_FUZZ_SRC}/document/ReferenceReport.cpp
          ${ORV_FUZZ_SRC}/document/Rename.cpp
          ${ORV_FUZZ_SRC}/document/MapCheck.cpp
          ${ORV_FUZZ_SRC}/core/FolderTransaction.cpp
          ${ORV_FUZZ_SRC}/editors/ScriptLine.cpp
          ${ORV_FUZZ_SRC}/editors/ObjectStore.cpp
          ${ORV_FUZZ_SRC}/map/MapExits.cpp
          ${ORV_FUZZ_MAP_FILES}
          ${ORV_FUZZ_LIST_FILES}
  LIBS Qt6::Core Qt6::Gui)
