# The library's exported functions against an in-process tavik-server.
target_sources(${target} PRIVATE ${CMAKE_SOURCE_DIR}/tests/server/CServerHarness.cpp)
target_link_libraries(${target} PRIVATE tavik_server_core)
