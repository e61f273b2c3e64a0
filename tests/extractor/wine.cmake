# End-to-end tests of the extractor under Wine, with SFX files made by the real builder.
add_executable(sfxprobe WIN32 sfxprobe.cpp)

add_library(sfxtestkit_win STATIC sfxrun.cpp)
target_link_libraries(sfxtestkit_win PUBLIC sfxtestkit orvex_testsupport shell32)

orvex_win_gtest(win_sfx_extract_tests SOURCES test_sfx_extract.cpp LIBS sfxtestkit_win)
add_dependencies(win_sfx_extract_tests sfxhead selfdelete orvex sfxprobe)
orvex_wine_test(win_sfx_extract_tests win_sfx_extract_tests TIMEOUT 600
                WIN32 FolderChoices.TemporaryFolderTwiceMeetsItsOwnFiles:FolderChoices.UnicodeNamesOfAnyLength:DamagedFiles.StrongLayoutCopiesAndDamage)

orvex_win_gtest(win_sfx_run_tests SOURCES test_sfx_run.cpp LIBS sfxtestkit_win)
add_dependencies(win_sfx_run_tests sfxhead selfdelete orvex sfxprobe)
orvex_wine_test(win_sfx_run_tests win_sfx_run_tests TIMEOUT 600
                WIN32 Launch.StoredAndForwardedParameters:Launch.WorkingDirectoriesAndExitCode:CleanUp.Immediate*:SelfDestruct.*)

# A 2.5 GiB file through the strong layout: about a minute with either head, and 2.5 GiB
# of disk.
orvex_win_gtest(win_sfx_large_tests SOURCES test_sfx_large.cpp LIBS sfxtestkit_win)
add_dependencies(win_sfx_large_tests sfxhead selfdelete orvex)
orvex_wine_test(win_sfx_large_tests win_sfx_large_tests TIMEOUT 1200 WIN32 LargeFiles.*)

if(ORVEX_TARGET STREQUAL "win32")
  return()
endif()

# The free-space test extracts to a 1 MiB drive R: mapped into the prefix: a run of its
# own, so a machine that cannot mount the drive still runs every other extraction test.
set(diskfull DamagedFiles.NotEnoughFreeSpace)
set_property(TEST win_sfx_extract_tests APPEND PROPERTY ENVIRONMENT GTEST_FILTER=-${diskfull})
orvex_wine_test(win_sfx_diskfull_tests win_sfx_extract_tests)
set_tests_properties(win_sfx_diskfull_tests PROPERTIES ENVIRONMENT GTEST_FILTER=${diskfull}
                     FAIL_REGULAR_EXPRESSION "Running 0 tests" FIXTURES_REQUIRED "wine;smalldrive")
add_test(NAME sfx_smalldrive_start COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/smalldrive.sh start ${ORVEX_WINE_DIR})
add_test(NAME sfx_smalldrive_stop COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/smalldrive.sh stop ${ORVEX_WINE_DIR})
set_tests_properties(sfx_smalldrive_start PROPERTIES FIXTURES_SETUP smalldrive FIXTURES_REQUIRED wine)
set_tests_properties(sfx_smalldrive_stop PROPERTIES FIXTURES_CLEANUP smalldrive FIXTURES_REQUIRED wine)
