# Fuzz target for what the adventure server answers. Included by
# fuzz/CMakeLists.txt, which defines orvalis_add_fuzzer.
set(ORV_FUZZ_SRC ${CMAKE_CURRENT_LIST_DIR}/../src)
if(NOT TARGET Qt6::Core)
  find_package(Qt6 REQUIRED COMPONENTS Core)
endif()

orvalis_add_fuzzer(fuzz_server_reply
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/net_server_reply.cpp
          ${ORV_FUZZ_SRC}/net/ServerReply.cpp
          ${ORV_FUZZ_SRC}/core/ListFile.cpp ${ORV_FUZZ_SRC}/core/DurableWrite.cpp
          ${ORV_FUZZ_SRC}/core/Cp1252.cpp
  LIBS Qt6::Core)
target_include_directories(fuzz_server_reply PRIVATE ${ORV_FUZZ_SRC})

# What the client builds into requests, and what it does with a reply's body.
find_package(CURL REQUIRED)
foreach(part request reply)
  orvalis_add_fuzzer(fuzz_client_${part}
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/net_client_${part}.cpp
            ${ORV_FUZZ_SRC}/net/ServerClient.cpp
            ${ORV_FUZZ_SRC}/net/ServerReply.cpp
            ${ORV_FUZZ_SRC}/core/ListFile.cpp ${ORV_FUZZ_SRC}/core/DurableWrite.cpp
            ${ORV_FUZZ_SRC}/core/Cp1252.cpp
    LIBS Qt6::Core CURL::libcurl)
endforeach()
