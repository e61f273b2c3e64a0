# The command line and start-up, and the orvex.exe program.
target_sources(ovbuilder PRIVATE ui/orvex.cpp)

# The head and the helper travel inside the builder as resources of this same build.
file(GENERATE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/embedded.rc
     CONTENT "SFXHEAD EXE \"$<TARGET_FILE:sfxhead>\"\nSELFDELETE EXE \"$<TARGET_FILE:selfdelete>\"\n")

add_executable(orvex WIN32 ui/orvexmain.cpp resources/orvex.rc)
set_target_properties(orvex PROPERTIES OUTPUT_NAME orvex)
target_include_directories(orvex PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/resources ${CMAKE_CURRENT_BINARY_DIR})
target_link_libraries(orvex PRIVATE ovbuilder)
set_property(SOURCE resources/orvex.rc APPEND PROPERTY COMPILE_DEFINITIONS ORVEX_VERSION_DOTTED=${PROJECT_VERSION}.0)
# Rebuild the builder whenever the programs it embeds change (OBJECT_DEPENDS takes no
# generator expressions: both programs land in bin/ beside it).
add_dependencies(orvex sfxhead selfdelete)
set_property(SOURCE resources/orvex.rc APPEND PROPERTY OBJECT_DEPENDS
  ${CMAKE_BINARY_DIR}/bin/sfxhead${CMAKE_EXECUTABLE_SUFFIX} ${CMAKE_BINARY_DIR}/bin/selfdelete${CMAKE_EXECUTABLE_SUFFIX}
  ${CMAKE_CURRENT_BINARY_DIR}/embedded.rc
  ${CMAKE_CURRENT_SOURCE_DIR}/resources/uac.xml ${CMAKE_CURRENT_SOURCE_DIR}/resources/cmdline.txt)
