# Common compile options for every target of the project.
add_library(zorvane_options INTERFACE)
target_compile_options(zorvane_options INTERFACE -Wall -Wextra -Wpedantic)
if(ZORVANE_WERROR)
    target_compile_options(zorvane_options INTERFACE -Werror)
endif()
if(ZORVANE_SANITIZE)
    string(REPLACE ";" "," _zorvane_san "${ZORVANE_SANITIZE}")
    target_compile_options(zorvane_options INTERFACE -fsanitize=${_zorvane_san} -fno-omit-frame-pointer
                                                     -fno-sanitize-recover=all)
    target_link_options(zorvane_options INTERFACE -fsanitize=${_zorvane_san})
endif()

# Adds a GoogleTest executable and registers its tests with CTest; LABELS go to each of
# them ("slow" for those that take many seconds however fast the machine, so a quick
# run can leave them out with -LE slow).
function(zorvane_gtest name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest_main zorvane_options)
    set(_properties ENVIRONMENT "ZORVANE_TEST_DATA=${CMAKE_CURRENT_SOURCE_DIR}")
    if(ARG_LABELS)
        list(APPEND _properties LABELS "${ARG_LABELS}")
    endif()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${_properties})
endfunction()
