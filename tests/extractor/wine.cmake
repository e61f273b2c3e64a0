# End-to-end tests of the extractor under Wine, with SFX files made by the real builder.
add_executable(sfxprobe WIN32 sfxprobe.cpp)

add_library(sfxtestkit_win STATIC sfxwriter.cpp sfxrun.cpp)
target_include_directories(sfxtestkit_win PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(sfxtestkit_win PUBLIC orvex_testsupport u_shared ${ORVEX_ZLIB} shell32)

orvex_win_gtest(win_sfx_extract_tests SOURCES test_sfx_extract.cpp LIBS sfxtestkit_win)
add_dependencies(win_sfx_extract_tests sfxhead selfdelete orvex sfxprobe)
orvex_wine_test(win_sfx_extract_tests win_sfx_extract_tests TIMEOUT 600)

orvex_win_gtest(win_sfx_run_tests SOURCES test_sfx_run.cpp LIBS sfxtestkit_win)
add_dependencies(win_sfx_run_tests sfxhead selfdelete orvex sfxprobe)
orvex_wine_test(win_sfx_run_tests win_sfx_run_tests TIMEOUT 600)
