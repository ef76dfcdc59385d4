# The explorer against an in-process reference server (the server's core and its test harness),
# with Qt's test helpers. The remote-disk library's static archive comes after the program's
# logic, which calls it. The whole-road test starts the built program's servers.
target_sources(${target} PRIVATE ${CMAKE_SOURCE_DIR}/tests/server/CServerHarness.cpp)
target_link_libraries(${target} PRIVATE tavik_app tavik_server_core TavikSDKStatic Qt6::Test)
if(TARGET tavik-server)
    add_dependencies(${target} tavik-server)
    target_compile_definitions(${target} PRIVATE
                               TAVIK_SERVER_PROGRAM="$<TARGET_FILE:tavik-server>")
endif()
