# SPDX-License-Identifier: Apache-2.0
# Helpers every CMakeLists.txt of the tree uses for its targets.

# corvix_include_root(<target> <name> [PUBLIC|PRIVATE])
#
# Gives <target> an include root that holds the calling directory and nothing else, as
# <name>/, so that "<name>/file.h" resolves. The root is a folder in the build tree with one
# symbolic link in it; the sources stay where they are. A layer sees its own root and the
# roots of the layers it links, never the source tree above it, so an include of a layer
# it does not link fails to compile.
function(corvix_include_root target name)
    set(scope PUBLIC)
    if(ARGC GREATER 2)
        set(scope ${ARGV2})
    endif()
    set(root "${PROJECT_BINARY_DIR}/include-roots/${name}")
    file(MAKE_DIRECTORY "${root}")
    file(CREATE_LINK "${CMAKE_CURRENT_SOURCE_DIR}" "${root}/${name}" SYMBOLIC)
    target_include_directories(${target} ${scope} "$<BUILD_INTERFACE:${root}>")
endfunction()

# corvix_warnings(<target>...): the warning level of our own code, and -Werror where
# CORVIX_WERROR is on (CI). Set per target, so imported code keeps its own flags.
function(corvix_warnings)
    foreach(target IN LISTS ARGN)
        target_compile_options(${target} PRIVATE -Wall -Wextra $<$<BOOL:${CORVIX_WERROR}>:-Werror>)
    endforeach()
endfunction()
