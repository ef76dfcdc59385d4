# The server's tests drive its request handling in-process and start the built program.
target_link_libraries(${target} PRIVATE tavik_server_core)
add_dependencies(${target} tavik-server)
target_compile_definitions(${target} PRIVATE TAVIK_SERVER_PROGRAM="$<TARGET_FILE:tavik-server>")
# The stop and administration tests run tavik-server as a child process.
target_sources(${target} PRIVATE ${CMAKE_SOURCE_DIR}/tests/cli/CChildProcess.cpp)
