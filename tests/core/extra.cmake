# The library-load test runs a copy of this program that loads the built shared library.
add_dependencies(${target} TavikSDK)
target_compile_definitions(${target} PRIVATE TAVIK_SDK_LIBRARY="$<TARGET_FILE:TavikSDK>")
target_link_libraries(${target} PRIVATE ${CMAKE_DL_LIBS})
