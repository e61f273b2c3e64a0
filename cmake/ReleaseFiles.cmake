# Writes release files dated by SOURCE_DATE_EPOCH, or else by the last commit, so that
# every build of one commit gives the same bytes.
# MODE=debian: OUTPUT/orvex.1.gz (help2man from PROGRAM --help) and OUTPUT/changelog.gz.
# MODE=zip: the zip OUTPUT holding PROGRAM as orvex.exe and the README as README.txt.
# Usage: cmake -DMODE=... -DOUTPUT=... -DPROGRAM=... -DSOURCE_DIR=... [-DMAINTAINER=...] -P ReleaseFiles.cmake
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${ARGN}: ${status}")
  endif()
endfunction()

if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  execute_process(COMMAND git log -1 --format=%ct WORKING_DIRECTORY ${SOURCE_DIR}
                  OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(NOT epoch MATCHES "^[0-9]+$")
    message(FATAL_ERROR "The release files take their date from the last commit: outside a git checkout, "
                        "set SOURCE_DATE_EPOCH")
  endif()
  set(ENV{SOURCE_DATE_EPOCH} ${epoch})
endif()

if(MODE STREQUAL "zip")
  run(python3 ${SOURCE_DIR}/scripts/release-zip.py ${OUTPUT} $ENV{SOURCE_DATE_EPOCH}
      ${PROGRAM}=orvex.exe ${SOURCE_DIR}/README.md=README.txt)
  return()
endif()

file(MAKE_DIRECTORY ${OUTPUT})
# help2man reads SOURCE_DATE_EPOCH for the page's date.
run(help2man --no-info --no-discard-stderr -o ${OUTPUT}/orvex.1
    --name "build self-extracting Windows programs from folders, and look inside them" ${PROGRAM})
execute_process(COMMAND ${PROGRAM} --version OUTPUT_VARIABLE version)
string(REGEX REPLACE "^orvex ([^\n]+)\n$" "\\1" version "${version}")
string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE ${OUTPUT}/changelog
     "orvex (${version}) unstable; urgency=medium\n\n  * Orvex ${version}.\n\n -- ${MAINTAINER}  ${date}\n")
# -n: no name and no time in the gzip header.
run(gzip -9nf ${OUTPUT}/orvex.1 ${OUTPUT}/changelog)
