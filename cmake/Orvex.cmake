# Build rules shared by every directory.

add_compile_options(-Wall -Wextra)

# One version, project(VERSION): orvex --version, orvex.exe's version resource, the SFX
# files' own version information, the packages.
add_compile_definitions(ORVEX_VERSION_STRING="${PROJECT_VERSION}"
  ORVEX_VERSION_NUMBERS=${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0)

# zlib: Debian's libz-mingw-w64-dev for Windows, linked statically; zlib1g-dev on the host.
if(WIN32)
  set(ZLIB_USE_STATIC_LIBS ON)
endif()
find_package(ZLIB REQUIRED)
set(ORVEX_ZLIB ZLIB::ZLIB)

# LZMA: Debian's lzma-dev installs the coder's C sources, compiled here for every preset,
# single-threaded (the builders run one coder per block on each core). The head's decoder
# is built for size.
set(ORVEX_LZMA_DIR /usr/include/lzma CACHE PATH "Where lzma-dev put LzmaEnc.c, LzmaDec.c and LzFind.c")
if(NOT EXISTS ${ORVEX_LZMA_DIR}/LzmaDec.c)
  message(FATAL_ERROR "No LZMA sources in ${ORVEX_LZMA_DIR}: scripts/setup.sh installs lzma-dev")
endif()
function(orvex_lzma_library name)
  add_library(${name} STATIC ${ARGN})
  set_target_properties(${name} PROPERTIES LINKER_LANGUAGE C)
  target_include_directories(${name} SYSTEM PUBLIC ${ORVEX_LZMA_DIR})
  target_compile_definitions(${name} PUBLIC _7ZIP_ST)
  target_compile_options(${name} PRIVATE -w)
endfunction()

if(WIN32)
  # No UNICODE: the programs speak the ANSI code page throughout.
  add_compile_definitions(WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0601 WINVER=0x0601)
  # Everything links statically: an SFX file runs on a bare Windows with no DLL beside it.
  # No link time in the PE header: a build of the same commit gives the same programs.
  add_link_options(-static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp)
  if(ORVEX_TARGET STREQUAL "win32")
    set(ORVEX_ENTRY_SYMBOL _ProgramEntry)
  else()
    set(ORVEX_ENTRY_SYMBOL ProgramEntry)
  endif()
endif()

# A tiny program: no C runtime, no exceptions, no RTTI, its own entry point `ProgramEntry`,
# only the named system DLLs, stripped, with a linker map that explains its size.
function(orvex_tiny_program target)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  target_compile_options(${target} PRIVATE
    -Os -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables -fno-unwind-tables
    -ffunction-sections -fdata-sections -fno-stack-protector -fno-threadsafe-statics)
  target_link_options(${target} PRIVATE
    -nostdlib -mwindows -s -Wl,--gc-sections -Wl,-e,${ORVEX_ENTRY_SYMBOL}
    -Wl,--dynamicbase -Wl,--nxcompat
    -Wl,-Map,${CMAKE_BINARY_DIR}/maps/${target}.map)
  target_link_libraries(${target} PRIVATE orvex_tinyrt ${ARG_LIBS} kernel32 gcc)
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/maps)
endfunction()

# Tests that need a Windows program built by the cross compilers: where those are missing
# they are registered as skipped, saying why, so the host preset configures without them.
function(orvex_skipped_test name reason)
  add_test(NAME ${name} COMMAND sh -c "echo 'skipped: ${reason}'; exit 77")
  set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE 77)
endfunction()

if(ORVEX_TARGET STREQUAL "host")
  find_program(ORVEX_MINGW_CC x86_64-w64-mingw32-gcc)
  find_program(ORVEX_MINGW_RC x86_64-w64-mingw32-windres)
  find_program(ORVEX_MINGW32_CXX i686-w64-mingw32-g++-posix)
  if(ORVEX_MINGW_CC AND ORVEX_MINGW_RC AND ORVEX_MINGW32_CXX)
    set(ORVEX_HAVE_MINGW ON)
  else()
    set(ORVEX_HAVE_MINGW OFF)
    message(STATUS "No MinGW-w64 cross compilers (scripts/setup.sh installs them): the Linux orvex, which "
                   "carries the Windows heads, and the tests that need a Windows program are skipped")
  endif()
  option(ORVEX_FUZZ "Build the libFuzzer targets (clang only)" OFF)
  option(ORVEX_SANITIZE "Build host code with AddressSanitizer and UndefinedBehaviorSanitizer" ON)
  # ThreadSanitizer cannot share a build with AddressSanitizer: the preset host-tsan has its own.
  option(ORVEX_TSAN "Build host code with ThreadSanitizer instead" OFF)
  if(ORVEX_TSAN)
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
  elseif(ORVEX_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=address,undefined)
  endif()
endif()

# Windows tests run under Wine inside one Wine environment per test run: the fixture
# `wine` creates a fresh prefix and an Xvfb display before the first of them and stops
# its wineserver after the last. Every test runs in the win64 preset. The win32 preset runs
# the release programs through a 32-bit test program for the cases named by WIN32 (a
# GoogleTest filter), chosen for what differs between 32 and 64 bits; they are skipped,
# with the reason, where 32-bit programs cannot run.
set(ORVEX_WINE_DIR ${CMAKE_BINARY_DIR}/wine)
set(ORVEX_WINE_RUN ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh ${ORVEX_WINE_DIR})

function(orvex_wine_test name target)
  cmake_parse_arguments(ARG "" "TIMEOUT;WIN32" "ARGS" ${ARGN})
  if(ORVEX_TARGET STREQUAL "win32" AND NOT ARG_WIN32)
    return()
  elseif(NOT ORVEX_TARGET MATCHES "^win")
    return()
  endif()
  add_test(NAME ${name} COMMAND ${ORVEX_WINE_RUN} $<TARGET_FILE:${target}> ${ARG_ARGS})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  # The tests share one screen (boxes are read and pixels sampled from it), the settings
  # key and the clipboard: whatever `ctest -j` says, one runs at a time.
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT ${ARG_TIMEOUT} RESOURCE_LOCK wine-screen)
  if(ORVEX_TARGET STREQUAL "win32")
    # A filter that no longer names a test must not pass as a run of none.
    set_tests_properties(${name} PROPERTIES ENVIRONMENT GTEST_FILTER=${ARG_WIN32} SKIP_RETURN_CODE 77
                         FAIL_REGULAR_EXPRESSION "Running 0 tests")
  endif()
endfunction()

# A Windows GoogleTest program of the given sources.
function(orvex_win_gtest target)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${target} ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE orvex_testsupport ${ARG_LIBS} GTest::gtest_main)
endfunction()
