# The service servers' tests run them in-process and start the built program for --demo.
target_link_libraries(${target} PRIVATE tavik_server_core tavik_codecs)
add_dependencies(${target} tavik-server)
target_compile_definitions(${target} PRIVATE TAVIK_SERVER_PROGRAM="$<TARGET_FILE:tavik-server>")
# The program test runs tavik-server as a child process.
target_sources(${target} PRIVATE ${CMAKE_SOURCE_DIR}/tests/cli/CChildProcess.cpp)
