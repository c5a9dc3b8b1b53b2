# The libFuzzer build: a library the fuzzers reach is compiled with coverage and the
# address and undefined-behaviour checks, and everything that links it, the helper
# programs included, gets the sanitizer run-time with it.
set(ZORVANE_FUZZ_SANITIZERS -fsanitize=address,undefined)

function(zorvane_fuzz_instrument library)
    target_compile_options(${library} PRIVATE -fsanitize=fuzzer-no-link
                                              ${ZORVANE_FUZZ_SANITIZERS} -fno-omit-frame-pointer)
    target_link_options(${library} INTERFACE ${ZORVANE_FUZZ_SANITIZERS})
endfunction()

# A libFuzzer target from one source over the libraries given.
function(zorvane_fuzz_target name source)
    add_executable(${name} ${source})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer ${ZORVANE_FUZZ_SANITIZERS}
                                           -fno-omit-frame-pointer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer ${ZORVANE_FUZZ_SANITIZERS})
    target_link_libraries(${name} PRIVATE ${ARGN} zorvane_options)
endfunction()
