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
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest_main zorvane_test_support
                                          zorvane_options)
    set(_properties ENVIRONMENT "ZORVANE_TEST_DATA=${CMAKE_CURRENT_SOURCE_DIR}")
    if(ARG_LABELS)
        list(APPEND _properties LABELS "${ARG_LABELS}")
    endif()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${_properties})
endfunction()

# Adds a Qt Test executable that drives real objects (widgets on the offscreen platform).
function(zorvane_qtest name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} Qt6::Test zorvane_test_support
                                          zorvane_options)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ZORVANE_TEST_DATA=${CMAKE_CURRENT_SOURCE_DIR}"
        TIMEOUT 120)
endfunction()

# Puts a link to the sound helper beside the test programs of the current directory: a window
# or session under test plays its alarms through it, looked for beside the program as beside
# the installed one.
function(zorvane_sound_helper_beside_tests)
    if(WIN32)
        return()
    endif()
    string(MAKE_C_IDENTIFIER "${CMAKE_CURRENT_SOURCE_DIR}" _id)
    add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/zorvane-sound
        COMMAND ${CMAKE_COMMAND} -E create_symlink $<TARGET_FILE:zorvane-sound>
                ${CMAKE_CURRENT_BINARY_DIR}/zorvane-sound
        DEPENDS zorvane-sound VERBATIM)
    add_custom_target(zorvane_sound_helper_${_id} ALL
        DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/zorvane-sound)
endfunction()
