# The export test reads the built shared library and the .def table.
add_dependencies(${target} TavikSDK)
target_compile_definitions(${target} PRIVATE
    TAVIK_SDK_LIBRARY="$<TARGET_FILE:TavikSDK>"
    TAVIK_SDK_DEF="${CMAKE_SOURCE_DIR}/sdk/TavikSDK.def"
    TAVIK_SDK_INCLUDE="${CMAKE_SOURCE_DIR}/sdk/include"
    TAVIK_SDK_VERSION="${TAVIK_SDK_VERSION}")
target_link_libraries(${target} PRIVATE ${CMAKE_DL_LIBS})
