# Head preparation: the icon, version information and manifest of a written SFX head.
target_sources(ovbuilder PRIVATE ${CMAKE_CURRENT_LIST_DIR}/OVResources.cpp)
