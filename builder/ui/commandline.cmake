# The builders' command line, portable: the scanner, the evaluator with the front ends'
# switch tables, and the generator's line. Used by orvex.exe, the Linux orvex and the host
# tests.
set(ui ${CMAKE_SOURCE_DIR}/builder/ui)
add_library(ovcommandline STATIC ${ui}/CmdLineHelper.cpp ${ui}/CmdLineGenerator.cpp)
target_include_directories(ovcommandline PUBLIC ${ui})
target_link_libraries(ovcommandline PUBLIC ovengine)
