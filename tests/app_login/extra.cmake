# The program's logic with Qt's test helpers; a main of our own runs the tests inside a
# QApplication without a screen. The whole-road test starts the reference server.
target_link_libraries(${target} PRIVATE tavik_app Qt6::Test)
if(TARGET tavik-server)
    add_dependencies(${target} tavik-server)
    target_compile_definitions(${target} PRIVATE
                               TAVIK_SERVER_PROGRAM="$<TARGET_FILE:tavik-server>")
endif()
