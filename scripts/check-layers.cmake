# Fails when a file includes a header it may not: a core file one of a layer above its own or
# of anything outside the core; a presentation file (report/, web/) one of a front end; a
# front end (cli/, server/, ui/, tools/) one of another front end. LAYERS lists the core
# folders from the bottom up, SHARED the presentation folders in the order they may use each
# other, FRONT_ENDS the front ends; run from the source root:
#   cmake "-DLAYERS=analysis;content;evaluation;document" "-DSHARED=web;report"
#         "-DFRONT_ENDS=cli;server;ui;tools" -P scripts/check-layers.cmake
cmake_minimum_required(VERSION 3.25)
set(refused "")

# Every file of `folder` may include headers of the folders in `allowed` only.
function(check_folder folder allowed)
    file(GLOB files ${folder}/*.h ${folder}/*.cpp)
    foreach(file IN LISTS files)
        file(STRINGS ${file} includes REGEX "^#include \"[a-z]+/")
        foreach(line IN LISTS includes)
            string(REGEX REPLACE "^#include \"([a-z]+)/.*" "\\1" included "${line}")
            if(NOT included IN_LIST allowed)
                list(APPEND refused "${file}: ${line}")
            endif()
        endforeach()
    endforeach()
    set(refused "${refused}" PARENT_SCOPE)
endfunction()

set(below "")
foreach(layer IN LISTS LAYERS)
    list(APPEND below ${layer})
    check_folder(${layer} "${below}")
endforeach()
foreach(shared IN LISTS SHARED)
    list(APPEND below ${shared})
    check_folder(${shared} "${below}")
endforeach()
foreach(front IN LISTS FRONT_ENDS)
    check_folder(${front} "${below};${front}")
endforeach()
if(refused)
    list(JOIN refused "\n" message)
    message(FATAL_ERROR "includes across layers or front ends:\n${message}")
endif()
