# What a release hands out. The host build installs the Linux orvex with its manual page
# and documents, and packs them as orvex_<version>_amd64.deb (target `package`); the win32
# build packs orvex.exe and the README as orvex-<version>-win32.zip (target `release-zip`).
# Both are dated by the last commit (or SOURCE_DATE_EPOCH), never by the moment of the build.
set(release_files ${CMAKE_SOURCE_DIR}/cmake/ReleaseFiles.cmake)

if(ORVEX_TARGET STREQUAL "win32")
  set(zip ${CMAKE_BINARY_DIR}/orvex-${PROJECT_VERSION}-win32.zip)
  add_custom_target(release-zip
    COMMAND ${CMAKE_COMMAND} -DMODE=zip -DOUTPUT=${zip} -DPROGRAM=$<TARGET_FILE:orvex>
            -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -P ${release_files}
    DEPENDS orvex ${release_files} ${CMAKE_SOURCE_DIR}/scripts/release-zip.py
    BYPRODUCTS ${zip}
    COMMENT "Packing orvex.exe and the README into ${zip}"
    VERBATIM)
  return()
endif()
if(NOT TARGET orvex OR NOT ORVEX_TARGET STREQUAL "host")
  return()
endif()

# The manual page from `orvex --help` (help2man), and the changelog Debian asks for.
set(docs ${CMAKE_BINARY_DIR}/doc)
add_custom_command(OUTPUT ${docs}/orvex.1.gz ${docs}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -DMODE=debian -DOUTPUT=${docs} -DPROGRAM=$<TARGET_FILE:orvex>
          -DSOURCE_DIR=${CMAKE_SOURCE_DIR} "-DMAINTAINER=${ORVEX_MAINTAINER}" -P ${release_files}
  DEPENDS orvex ${release_files}
  COMMENT "Writing the manual page and the changelog of orvex"
  VERBATIM)
add_custom_target(orvex_docs ALL DEPENDS ${docs}/orvex.1.gz ${docs}/changelog.gz)

install(TARGETS orvex RUNTIME DESTINATION bin)
install(FILES ${docs}/orvex.1.gz DESTINATION share/man/man1)
set(debian ${CMAKE_SOURCE_DIR}/builder/linux/debian)
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${docs}/changelog.gz ${debian}/copyright DESTINATION share/doc/orvex)
install(FILES ${debian}/lintian-overrides DESTINATION share/lintian/overrides RENAME orvex)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${ORVEX_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "builds self-extracting Windows programs from folders")
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "orvex turns a folder into one self-extracting Windows executable (an SFX file)"
  "that extracts it on a Windows computer and can then launch a program from it,"
  "with the command line of the Windows builder orvex.exe. It carries the 32-bit"
  "and the x86-64 Windows extractor inside its own file, and lists, checks and"
  "extracts SFX files without running them.")
include(CPack)
