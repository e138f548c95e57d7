# The Debian package (make package, through CPack): the programs, the built-in models, the
# desktop entry with its icons and AppStream metadata, manual pages made by help2man, the
# documentation with the models' attribution and licences, and, once the web server exists,
# its systemd unit with the maintainer scripts that create its user and data folder.
# The sanitizer builds make no package.
if(TAVI_SANITIZE)
    return()
endif()

set(TAVI_PACKAGE_MAINTAINER "Tavi developers <tavi@example.org>" CACHE STRING "Maintainer field of the Debian package")
set(TAVI_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(TAVI_GENERATED_DOCS ${CMAKE_BINARY_DIR}/packaging)
set(TAVI_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/tavi)
set(TAVI_PROGRAMS tavi tavi-score tavi-build-model tavi-morphemes)
if(TARGET tavi-serve)
    list(APPEND TAVI_PROGRAMS tavi-serve)  # installed by server/CMakeLists.txt
endif()

# Manual pages from each program's --help; tavi-score has a hand-written description and
# examples besides. The desktop program prints its help before it needs a display.
find_program(TAVI_HELP2MAN help2man REQUIRED)
set(TAVI_MAN_PAGES "")
set(summary_tavi "Japanese essay scoring, the desktop program")
set(summary_tavi-score "score Japanese essays from the command line")
set(summary_tavi-build-model "build a content model of Tavi from a corpus")
set(summary_tavi-morphemes "print the morpheme table of a text file")
set(summary_tavi-serve "Tavi's essay scoring web server")
foreach(program ${TAVI_PROGRAMS})
    set(page ${TAVI_GENERATED_DOCS}/${program}.1)
    set(include "")
    set(depends ${program})
    if(EXISTS ${TAVI_PACKAGING_DIR}/${program}.h2m)
        set(include --include=${TAVI_PACKAGING_DIR}/${program}.h2m)
        list(APPEND depends ${TAVI_PACKAGING_DIR}/${program}.h2m)
    endif()
    add_custom_command(
        OUTPUT ${page}.gz
        COMMAND ${TAVI_HELP2MAN} --no-info --no-discard-stderr --locale=C.UTF-8 --version-string=${PROJECT_VERSION}
                "--name=${summary_${program}}" ${include} --output=${page} $<TARGET_FILE:${program}>
        COMMAND gzip -9nf ${page}
        DEPENDS ${depends}
        COMMENT "Writing the manual page of ${program}"
        VERBATIM)
    list(APPEND TAVI_MAN_PAGES ${page}.gz)
endforeach()
configure_file(${TAVI_PACKAGING_DIR}/changelog.in ${TAVI_GENERATED_DOCS}/changelog @ONLY)
add_custom_command(
    OUTPUT ${TAVI_GENERATED_DOCS}/changelog.gz
    COMMAND gzip -9nkf ${TAVI_GENERATED_DOCS}/changelog
    DEPENDS ${TAVI_GENERATED_DOCS}/changelog
    VERBATIM)
add_custom_target(tavi_package_docs ALL DEPENDS ${TAVI_MAN_PAGES} ${TAVI_GENERATED_DOCS}/changelog.gz)

set(TAVI_METAINFO ${TAVI_GENERATED_DOCS}/org.example.Tavi.metainfo.xml)
configure_file(${TAVI_PACKAGING_DIR}/org.example.Tavi.metainfo.xml ${TAVI_METAINFO} @ONLY)

install(FILES ${TAVI_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${TAVI_METAINFO} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${TAVI_PACKAGING_DIR}/copyright ${TAVI_GENERATED_DOCS}/changelog.gz
        DESTINATION ${TAVI_DOCDIR})
install(FILES ${PROJECT_SOURCE_DIR}/data/corpus/README.md DESTINATION ${TAVI_DOCDIR} RENAME MODELS.md)

# The browser build in /usr/share/tavi/web/, which tavi-serve serves under /app/, when it was
# built: `make package` builds package_web first, which builds it when the ChaSen tarball is found
# and otherwise says that the package has none. Its Node programs (node/) are left out: they
# score from a shell, where the package has the native tavi-score.
install(DIRECTORY ${TAVI_WEB_DIR}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/tavi/web OPTIONAL PATTERN node EXCLUDE)
if(TAVI_CHASEN_SOURCE_FOUND)
    add_custom_target(package_web)
    add_dependencies(package_web web)
else()
    add_custom_target(package_web COMMAND ${CMAKE_COMMAND} -E echo
        "The package carries no browser build (/usr/share/tavi/web/). ${TAVI_CHASEN_MISSING}" VERBATIM)
endif()

set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "")
# Qt's own Japanese translations make the desktop's file dialogs Japanese.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libchasen2, ipadic, qt6-translations-l10n")
if(TARGET tavi-serve)
    install(FILES ${TAVI_PACKAGING_DIR}/tavi-serve.service DESTINATION lib/systemd/system)
    set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
        ${TAVI_PACKAGING_DIR}/postinst ${TAVI_PACKAGING_DIR}/prerm ${TAVI_PACKAGING_DIR}/postrm)
    string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", adduser")
endif()

execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE TAVI_DEB_ARCH OUTPUT_STRIP_TRAILING_WHITESPACE)
set(TAVI_DEB_FILE tavi_${PROJECT_VERSION}_${TAVI_DEB_ARCH}.deb)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavi)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${TAVI_PACKAGE_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Japanese essay scoring")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Scores essays written in Japanese on rhetoric (sentence and phrase
lengths, vocabulary, kanji use, passives), organization (connectives and
demonstratives) and content (closeness of an answer's content nouns to the
question's in a reduced semantic space), explains every weakness with a
comment and exports the results as CSV.
.
The package holds the Qt desktop program tavi, the command-line scorer
tavi-score (CSV, JSON and HTML report output), the content-model builder
tavi-build-model and the two built-in content models.")
set(CPACK_DEBIAN_FILE_NAME ${TAVI_DEB_FILE})
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${TAVI_DEB_ARCH})
set(CPACK_DEBIAN_PACKAGE_SECTION education)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)

# make test checks the package that make package built.
if(TAVI_BUILD_TESTS)
    add_test(NAME PackageContents
             COMMAND ${PROJECT_SOURCE_DIR}/tests/package/check-package.sh ${CMAKE_BINARY_DIR}/${TAVI_DEB_FILE}
                     ${CMAKE_RUNTIME_OUTPUT_DIRECTORY} ${PROJECT_SOURCE_DIR}/data/samples
                     "$<$<BOOL:${TAVI_CHASEN_SOURCE_FOUND}>:${TAVI_CHASEN_SOURCE}>"
                     "$<$<BOOL:${TAVI_CHASEN_SOURCE_FOUND}>:${TAVI_WEB_DIR}>")
    set_tests_properties(PackageContents PROPERTIES TIMEOUT 300)
endif()
