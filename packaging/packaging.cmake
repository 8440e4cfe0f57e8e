# Installation and the Debian package of the programs in QORVANTEL_PROGRAMS
# (installed by the top CMakeLists.txt): each program's man page man/<program>.1 (compressed), the manual, the
# example databases and the package's copyright and changelog files.
# `cpack -G DEB` in the build folder makes a package of the same files that
# lintian accepts without error or warning.
include(GNUInstallDirs)
find_program(GZIP_PROGRAM gzip REQUIRED)

# A text file installed compressed; with DOC_DIR, its mentions of the
# documentation folder name where this installation puts it.
function(qorvantel_install_compressed source destination name)
  cmake_parse_arguments(PARSE_ARGV 3 compressed "DOC_DIR" "" "")
  set(doc_dir_line "")
  if(compressed_DOC_DIR)
    set(doc_dir_line "set(compressed_doc_dir [[${CMAKE_INSTALL_DOCDIR}]])")
  endif()
  install(CODE "set(compressed_source [[${source}]])
set(compressed_destination [[${destination}]])
set(compressed_name [[${name}]])
unset(compressed_doc_dir)
${doc_dir_line}
set(gzip_program [[${GZIP_PROGRAM}]])
set(compressed_staging [[${PROJECT_BINARY_DIR}]])
include([[${CMAKE_CURRENT_FUNCTION_LIST_DIR}/install_compressed.cmake]])")
endfunction()

foreach(program ${QORVANTEL_PROGRAMS})
  qorvantel_install_compressed(${PROJECT_SOURCE_DIR}/man/${program}.1 ${CMAKE_INSTALL_MANDIR}/man1 ${program}.1.gz
                               DOC_DIR)
endforeach()
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR} FILES_MATCHING PATTERN "*.md")
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/packaging/copyright
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
# A package without a source package is native: its changelog is changelog.gz.
qorvantel_install_compressed(${PROJECT_SOURCE_DIR}/packaging/changelog ${CMAKE_INSTALL_DOCDIR} changelog.gz)

set(CPACK_PACKAGE_NAME qorvantel)
# The same as the newest entry of packaging/changelog (the install test checks).
set(CPACK_PACKAGE_VERSION 1.0.0)
set(CPACK_PACKAGE_CONTACT "qorvantel developers <qorvantel@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "console interpreter for a small relational algebra")
set(CPACK_PACKAGE_DESCRIPTION "Loads relations of integers and strings from text and evaluates union,
minus, product, select, project and rename over them, interactively or
in batch mode. Comes with a user's manual and example databases with
exercises.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
include(CPack)
