# Fuzz target for what the adventure server answers. Included by
# fuzz/CMakeLists.txt, which defines orvalis_add_fuzzer
# and the source lists the targets share.

orvalis_add_fuzzer(fuzz_server_reply
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/net_server_reply.cpp
          ${ORV_FUZZ_SRC}/net/ServerReply.cpp
          ${ORV_FUZZ_LIST_FILES}
  LIBS Qt6::Core)
target_include_directories(fuzz_server_reply PRIVATE ${ORV_FUZZ_SRC})

# What the client builds into requests, and what it does with a reply's body.
find_package(CURL REQUIRED)
foreach(part request reply)
  orvalis_add_fuzzer(fuzz_client_${part}
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/net_client_${part}.cpp
            ${ORV_FUZZ_SRC}/net/ServerClient.cpp
            ${ORV_FUZZ_SRC}/net/ServerReply.cpp
            ${ORV_FUZZ_SRC}/net/SyncRecord.cpp
            ${ORV_FUZZ_LIST_FILES}
    LIBS Qt6::Core CURL::libcurl)
endforeach()

# The record of the last exchanges and the server's revision listing.
orvalis_add_fuzzer(fuzz_sync
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/net_sync.cpp
          ${ORV_FUZZ_SRC}/net/SyncPlan.cpp
          ${ORV_FUZZ_SRC}/net/SyncRecord.cpp
          ${ORV_FUZZ_SRC}/net/AdventureTransfer.cpp
          ${ORV_FUZZ_SRC}/net/ServerClient.cpp
          ${ORV_FUZZ_SRC}/net/ServerReply.cpp
          ${ORV_FUZZ_LIST_FILES}
  LIBS Qt6::Core CURL::libcurl)
