# The browser build from the native tree: `cmake --build build --target web` (`make web`) builds
# the emscripten tree build/wasm, whose files for the page go to build/web. It needs the ChaSen
# source tarball; without it the target only says how to get the file.
include(${CMAKE_CURRENT_LIST_DIR}/ChasenSource.cmake)
set(TAVI_WEB_TREE ${CMAKE_BINARY_DIR}/wasm)
set(TAVI_WEB_DIR ${CMAKE_BINARY_DIR}/web)
if(TAVI_CHASEN_SOURCE_FOUND)
    set(TAVI_WEB_BUILD_COMMAND ${PROJECT_SOURCE_DIR}/scripts/build-web.sh ${TAVI_WEB_TREE} ${TAVI_WEB_DIR}
        ${TAVI_CHASEN_SOURCE} ${CMAKE_BINARY_DIR})
    add_custom_target(web COMMAND ${TAVI_WEB_BUILD_COMMAND} DEPENDS ${TAVI_CODE_PAGE_TABLES} USES_TERMINAL
        COMMENT "Building the browser build (emscripten) in ${TAVI_WEB_TREE}" VERBATIM)
    add_dependencies(web tavi_models)  # copied into the browser build
else()
    message(NOTICE "${TAVI_CHASEN_MISSING}")
    add_custom_target(web COMMAND ${CMAKE_COMMAND} -E echo "${TAVI_CHASEN_MISSING}" COMMAND false VERBATIM)
endif()
