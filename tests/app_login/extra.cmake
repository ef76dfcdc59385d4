# The program's logic with Qt's test helpers; a main of our own runs the tests inside a
# QApplication without a screen. The whole-road test runs the reference server as a program.
target_link_libraries(${target} PRIVATE tavik_app Qt6::Test)
target_sources(${target} PRIVATE ${CMAKE_SOURCE_DIR}/tests/cli/CChildProcess.cpp)
add_dependencies(${target} tavik-server)
target_compile_definitions(${target} PRIVATE TAVIK_SERVER_PROGRAM="$<TARGET_FILE:tavik-server>")
