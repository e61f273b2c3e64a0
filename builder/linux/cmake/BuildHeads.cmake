# Builds the extractor and the self-delete helper of one Windows preset in its own build
# tree of the source folder, configuring it first when it never was. A lock beside that
# tree keeps two builds of the host side (tests and benchmark) from building it at once.
# Usage: cmake -DPRESET=win32 -DSOURCE_DIR=... -P BuildHeads.cmake
set(tree ${SOURCE_DIR}/build/${PRESET})
file(MAKE_DIRECTORY ${SOURCE_DIR}/build)
file(LOCK ${SOURCE_DIR}/build/${PRESET}.lock GUARD PROCESS TIMEOUT 1800 RESULT_VARIABLE locked)
if(NOT locked EQUAL 0)
  message(FATAL_ERROR "build/${PRESET} stays locked by another build: ${locked}")
endif()
if(NOT EXISTS ${tree}/CMakeCache.txt)
  execute_process(COMMAND ${CMAKE_COMMAND} --preset ${PRESET} WORKING_DIRECTORY ${SOURCE_DIR}
                  OUTPUT_QUIET RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "cmake --preset ${PRESET} failed (are the MinGW-w64 compilers installed? scripts/setup.sh)")
  endif()
endif()
# The outer make's job slots do not reach this far: one job, and no warning about them.
set(ENV{MAKEFLAGS} "")
execute_process(COMMAND ${CMAKE_COMMAND} --build --preset ${PRESET} --target sfxhead selfdelete
                WORKING_DIRECTORY ${SOURCE_DIR} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "building sfxhead and selfdelete of the ${PRESET} preset failed")
endif()
