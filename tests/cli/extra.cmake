# The client's pure pieces are linked in; the client and the reference server are run as
# programs, found through their build paths.
target_link_libraries(${target} PRIVATE tavikcli_core)
if(TARGET tavik)
    add_dependencies(${target} tavik)
    target_compile_definitions(${target} PRIVATE TAVIK_CLI_PROGRAM="$<TARGET_FILE:tavik>")
endif()
if(TARGET tavik-server)
    add_dependencies(${target} tavik-server)
    target_compile_definitions(${target} PRIVATE
                               TAVIK_SERVER_PROGRAM="$<TARGET_FILE:tavik-server>")
endif()
# The completion scripts are tried from the sources.
target_compile_definitions(${target} PRIVATE TAVIK_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
