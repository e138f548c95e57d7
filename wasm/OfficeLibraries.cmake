# zlib, libzip, pugixml and libcsv for WebAssembly, from Debian's source tarballs: the readers of
# Word documents (.docx), zips and sheets (.csv, .xlsx) and the writer of the grades workbook.
include(${PROJECT_SOURCE_DIR}/cmake/WebSources.cmake)
tavi_web_source(zlib zlib_root)
tavi_web_source(libzip libzip_root)
tavi_web_source(pugixml pugixml_root)
tavi_web_source(libcsv libcsv_root)

# zlib: the inflate and deflate code that libzip calls (not the gz* file functions).
set(zlib_sources adler32 compress crc32 deflate infback inffast inflate inftrees trees uncompr zutil)
list(TRANSFORM zlib_sources PREPEND ${zlib_root}/)
list(TRANSFORM zlib_sources APPEND .c)
add_library(web_zlib STATIC ${zlib_sources})
target_include_directories(web_zlib PUBLIC ${zlib_root})
target_compile_options(web_zlib PRIVATE -w)
set_target_properties(web_zlib PROPERTIES OUTPUT_NAME z ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/zlib)

# libzip with its own CMake files: static, deflate only (no bzip2, xz or encryption), none of its
# tools, tests or manuals. It finds zlib as ZLIB::ZLIB, here the library above (imported, so that
# libzip's export of its targets accepts it).
set(ZLIB_INCLUDE_DIR ${zlib_root} CACHE PATH "zlib's headers (the browser build's own zlib)" FORCE)
set(ZLIB_LIBRARY ${CMAKE_BINARY_DIR}/zlib/libz.a CACHE FILEPATH "zlib (the browser build's own)" FORCE)
add_library(ZLIB::ZLIB STATIC IMPORTED)
set_target_properties(ZLIB::ZLIB PROPERTIES IMPORTED_LOCATION ${ZLIB_LIBRARY} INTERFACE_INCLUDE_DIRECTORIES ${zlib_root})
foreach(off ENABLE_COMMONCRYPTO ENABLE_GNUTLS ENABLE_MBEDTLS ENABLE_OPENSSL ENABLE_WINDOWS_CRYPTO ENABLE_BZIP2
    ENABLE_LZMA BUILD_TOOLS BUILD_REGRESS BUILD_EXAMPLES BUILD_DOC BUILD_SHARED_LIBS LIBZIP_DO_INSTALL)
    set(${off} OFF CACHE BOOL "Set by the browser build" FORCE)
endforeach()
# Its sizes of types are found by running test programs, which fails here (emcmake's Node
# emulator takes an option that Node 20 refuses); they are wasm32's.
foreach(size SIZEOF_OFF_T=8 SIZEOF_SIZE_T=4)
    string(REPLACE "=" ";" size ${size})
    list(GET size 0 name)
    list(GET size 1 bytes)
    set(HAVE_${name} TRUE CACHE INTERNAL "")
    set(${name} ${bytes} CACHE INTERNAL "")
endforeach()
add_subdirectory(${libzip_root} ${CMAKE_BINARY_DIR}/libzip EXCLUDE_FROM_ALL)
add_dependencies(zip web_zlib)
target_compile_options(zip PRIVATE -w)

# pugixml without XPath, which alone throws (the engine is built without exceptions).
add_library(web_pugixml STATIC ${pugixml_root}/src/pugixml.cpp)
target_include_directories(web_pugixml PUBLIC ${pugixml_root}/src)
target_compile_definitions(web_pugixml PUBLIC PUGIXML_NO_XPATH PUGIXML_NO_EXCEPTIONS)

add_library(web_csv STATIC ${libcsv_root}/libcsv.c)
target_include_directories(web_csv PUBLIC ${libcsv_root})
target_compile_options(web_csv PRIVATE -w)
