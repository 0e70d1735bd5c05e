# Fuzz target for the recovery journal: the file the program reads at start
# from the user's state folder. Included by fuzz/CMakeLists.txt.

orvalis_add_fuzzer(fuzz_journal
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/document_journal.cpp
          ${ORV_FUZZ_SRC}/document/JournalFile.cpp
  LIBS Qt6::Core Qt6::Gui ZLIB::ZLIB)
