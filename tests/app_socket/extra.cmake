# The program's logic, with Qt's test helpers; the tests run without a screen.
target_link_libraries(${target} PRIVATE tavik_app Qt6::Test)
# QtTestMain.cpp gives the executable its own main (a QApplication around the tests).
