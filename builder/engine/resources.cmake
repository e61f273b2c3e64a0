# Head preparation: the icon, version information and manifest of a written SFX head,
# edited in memory by the portable resource editor.
target_sources(ovbuilder PRIVATE ${CMAKE_CURRENT_LIST_DIR}/OVResources.cpp ${CMAKE_CURRENT_LIST_DIR}/OVResourceEditor.cpp)
