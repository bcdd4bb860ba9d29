# libFuzzer builds (VANTREL_FUZZ, clang only). Libraries whose code the fuzzers explore link
# vantrel_fuzz_flags: it compiles them with the coverage instrumentation that guides the fuzzer,
# and links every program using them with a sanitizer runtime, which provides the coverage hooks.
# The fuzzer executables themselves add libFuzzer's main.
if(VANTREL_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        message(FATAL_ERROR "VANTREL_FUZZ needs clang (libFuzzer)")
    endif()
    add_library(vantrel_fuzz_flags INTERFACE)
    target_compile_options(vantrel_fuzz_flags INTERFACE -fsanitize=fuzzer-no-link)
    target_link_options(vantrel_fuzz_flags INTERFACE -fsanitize=address,undefined)
endif()

# A library whose code a fuzzer explores: instrumented in libFuzzer builds, as it is otherwise.
function(vantrel_explored_by_fuzzers target)
    if(VANTREL_FUZZ)
        target_link_libraries(${target} PRIVATE vantrel_fuzz_flags)
    endif()
endfunction()
