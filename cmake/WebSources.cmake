# The sources of the libraries that the browser build compiles for WebAssembly besides ChaSen:
# zlib, libzip, pugixml and libcsv, the versions Debian bookworm installs natively, from Debian's
# archive. Each tarball is fetched once into TAVI_WEB_SOURCES (outside the source tree), checked
# against its SHA-256 below, and unpacked into the build tree.
set(TAVI_WEB_SOURCES "$ENV{HOME}/.cache/tavi/web-sources" CACHE PATH
    "Folder that keeps the source tarballs of the browser build's libraries")
set(TAVI_WEB_SOURCES_URL "http://deb.debian.org/debian/pool/main" CACHE STRING
    "Where the source tarballs of the browser build's libraries are fetched from")

# name|path under the archive|SHA-256|folder the tarball unpacks to
set(TAVI_WEB_LIBRARIES
    "zlib|z/zlib/zlib_1.2.13.dfsg.orig.tar.bz2|71feb7947e3c00ef125f83b79a4e529bde31171e5babe48b391f06758d1ab0a1|zlib-1.2.13.dfsg"
    "libzip|libz/libzip/libzip_1.7.3.orig.tar.xz|a60473ffdb7b4260c08bfa19c2ccea0438edac11193c3afbbb1f17fbcf6c6132|libzip-1.7.3"
    "pugixml|p/pugixml/pugixml_1.13.orig.tar.gz|5c5ad5d7caeb791420408042a7d88c2c6180781bf218feca259fd9d840a888e1|pugixml-1.13"
    "libcsv|libc/libcsv/libcsv_3.0.3+dfsg.orig.tar.gz|06fddfaca720a4be7603bad63eb1833bca5b6c5a69b42b1c518a02cda2a73aef|libcsv-3.0.3")

# tavi_web_source(<name> <variable>): the folder of the unpacked source of library <name>, in
# <variable>; fetches and unpacks it when needed. A tarball that cannot be fetched or whose
# checksum differs stops configuring with one line that names it.
function(tavi_web_source name variable)
    foreach(entry IN LISTS TAVI_WEB_LIBRARIES)
        string(REPLACE "|" ";" entry "${entry}")
        list(GET entry 0 entry_name)
        if(entry_name STREQUAL name)
            list(GET entry 1 path)
            list(GET entry 2 sha256)
            list(GET entry 3 folder)
        endif()
    endforeach()
    if(NOT DEFINED sha256)
        message(FATAL_ERROR "tavi_web_source: no library ${name}")
    endif()
    cmake_path(GET path FILENAME file)
    set(tarball ${TAVI_WEB_SOURCES}/${file})
    set(url ${TAVI_WEB_SOURCES_URL}/${path})
    if(EXISTS ${tarball})
        file(SHA256 ${tarball} sum)
        if(NOT sum STREQUAL sha256)
            message(FATAL_ERROR "${tarball} is not the expected file (SHA-256 ${sum}, expected ${sha256}): "
                "delete it to fetch ${url} again")
        endif()
    else()
        file(MAKE_DIRECTORY ${TAVI_WEB_SOURCES})
        message(STATUS "Fetching ${url}")
        # Fetched beside its final name and renamed once checked, so that a cut download is
        # never taken for the tarball.
        file(DOWNLOAD ${url} ${tarball}.part STATUS status TIMEOUT 300 INACTIVITY_TIMEOUT 60)
        list(GET status 0 code)
        list(GET status 1 words)
        if(NOT code EQUAL 0)
            file(REMOVE ${tarball}.part)
            message(FATAL_ERROR "Cannot fetch ${url} (${words}): without a network, put the file in ${TAVI_WEB_SOURCES}")
        endif()
        file(SHA256 ${tarball}.part sum)
        if(NOT sum STREQUAL sha256)
            file(REMOVE ${tarball}.part)
            message(FATAL_ERROR "${url} has SHA-256 ${sum}, expected ${sha256}: not the file this build was written for")
        endif()
        file(RENAME ${tarball}.part ${tarball})
    endif()
    set(root ${CMAKE_BINARY_DIR}/sources)
    if(NOT EXISTS ${root}/${folder}/.tavi-unpacked)
        file(REMOVE_RECURSE ${root}/${folder})
        file(ARCHIVE_EXTRACT INPUT ${tarball} DESTINATION ${root})
        if(NOT IS_DIRECTORY ${root}/${folder})
            message(FATAL_ERROR "${tarball}: no folder ${folder} inside")
        endif()
        file(WRITE ${root}/${folder}/.tavi-unpacked "${sha256}")
    endif()
    set(${variable} ${root}/${folder} PARENT_SCOPE)
endfunction()
