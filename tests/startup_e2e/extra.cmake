# The whole start against the reference service: the program's logic, Qt's test helpers and
# tavik-server, which the test's main starts with a demo account before the tests run.
target_link_libraries(${target} PRIVATE tavik_app Qt6::Test)
add_dependencies(${target} tavik-server fake_updrona)
target_compile_definitions(${target} PRIVATE
    TAVIK_SERVER_PROGRAM="$<TARGET_FILE:tavik-server>"
    TAVIK_FAKE_UPDRONA="$<TARGET_FILE:fake_updrona>")
add_dependencies(${target} tavikPDA)
target_compile_definitions(${target} PRIVATE TAVIK_PROGRAM="$<TARGET_FILE:tavikPDA>")
