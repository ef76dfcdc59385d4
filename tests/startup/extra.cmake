# The program's logic with Qt's test helpers, and a stand-in updater program the tests install
# as Updrona.exe in their own program folders.
target_link_libraries(${target} PRIVATE tavik_app Qt6::Test)
add_executable(fake_updrona ${CMAKE_CURRENT_LIST_DIR}/updater/FakeUpdrona.cpp)
target_link_libraries(fake_updrona PRIVATE platform)
add_dependencies(${target} fake_updrona)
target_compile_definitions(${target} PRIVATE
    TAVIK_FAKE_UPDRONA="$<TARGET_FILE:fake_updrona>"
    TAVIK_PROGRAM_BIN="$<TARGET_FILE_DIR:tavikPDA>")
