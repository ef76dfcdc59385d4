# The explorer's transfers, file operations and settings dialogs: the program's logic with an
# in-process tavik-server as the remote disk, inside a QApplication without a screen.
target_sources(${target} PRIVATE ${CMAKE_SOURCE_DIR}/tests/server/CServerHarness.cpp)
target_link_libraries(${target} PRIVATE tavik_app tavik_server_core Qt6::Test)
