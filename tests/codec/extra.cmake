# The codecs are their own static library, apart from the SDK.
target_link_libraries(${target} PRIVATE tavik_codecs)
