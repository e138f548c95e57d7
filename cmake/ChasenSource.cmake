# Where the ChaSen source tarball is: the setting TAVI_CHASEN_SOURCE, by default the copy in
# ../shared/third_party/chasen/ beside the source folder. Sets TAVI_CHASEN_SOURCE_FOUND, and
# TAVI_CHASEN_MISSING, one line that says how to get the file.
set(default "${PROJECT_SOURCE_DIR}/../shared/third_party/chasen/chasen_2.4.5.orig.tar.xz")
cmake_path(NORMAL_PATH default)
if(NOT EXISTS "${default}")
    set(default "")
endif()
set(TAVI_CHASEN_SOURCE "${default}" CACHE FILEPATH "ChaSen 2.4.5 source tarball for the browser build")
if(TAVI_CHASEN_SOURCE AND EXISTS "${TAVI_CHASEN_SOURCE}")
    set(TAVI_CHASEN_SOURCE_FOUND TRUE)
else()
    set(TAVI_CHASEN_SOURCE_FOUND FALSE)
endif()
set(TAVI_CHASEN_MISSING "The browser build is skipped: no ChaSen source tarball \
(-DTAVI_CHASEN_SOURCE=PATH/chasen_2.4.5.orig.tar.xz; get it with `apt-get source chasen` with \
source lists enabled, or from ChaSen's upstream site).")
# CI has the tarball (../shared): there a missing one stops configuring instead of leaving the
# browser build out.
option(TAVI_REQUIRE_WEB "Stop configuring when the ChaSen source tarball is missing" OFF)
if(TAVI_REQUIRE_WEB AND NOT TAVI_CHASEN_SOURCE_FOUND)
    message(FATAL_ERROR "TAVI_REQUIRE_WEB is set and the ChaSen source tarball is missing: ${TAVI_CHASEN_MISSING}")
endif()
