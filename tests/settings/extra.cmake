# The program's logic (the settings store is Qt-free, but lives in the program's library).
target_link_libraries(${target} PRIVATE tavik_app)
