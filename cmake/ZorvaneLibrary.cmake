# Every folder of the program is one library, and a library exposes its own folder's headers
# and nothing else: whoever includes "schedule/tick.h" must link zorvane_schedule (directly or
# through a library that links it publicly). The layers of ARCHITECTURE.md are thereby kept by
# the compiler, not only by convention; scripts/check-layers reads the includes against the
# written table besides.
#
# zorvane_expose(<target> <folder>) gives <target> an include directory that holds one link,
# <folder> -> the source folder, so "<folder>/name.h" resolves there and no other folder of the
# source tree is reachable through it.
function(zorvane_expose target folder)
    set(_dir ${PROJECT_BINARY_DIR}/include/${folder})
    set(_link ${_dir}/${folder})
    if(NOT IS_SYMLINK ${_link})
        file(MAKE_DIRECTORY ${_dir})
        file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${_link} SYMBOLIC RESULT _made)
        if(NOT _made STREQUAL "0")
            # No symbolic links (Windows without the right): the whole tree is reachable, and
            # only scripts/check-layers keeps the layers.
            message(WARNING "No link ${_link} (${_made}); ${target} sees the whole source tree")
            set(_dir ${PROJECT_SOURCE_DIR})
        endif()
    endif()
    get_target_property(_type ${target} TYPE)
    if(_type STREQUAL "INTERFACE_LIBRARY")
        target_include_directories(${target} INTERFACE ${_dir})
    else()
        target_include_directories(${target} PUBLIC ${_dir})
    endif()
endfunction()
