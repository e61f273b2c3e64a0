# The builder's windows: the window layer, the main and progress windows, the about box,
# the folder browser and the saved settings.
target_sources(ovbuilder PRIVATE
  ui/ovforms.cpp
  ui/u_settings.cpp
  ui/f_orvex.cpp
  ui/f_progress.cpp)
