# The command-line generator, the environment-variables window and the command-line help
# window.
target_sources(ovbuilder PRIVATE
  ui/f_cmdlinegen.cpp
  ui/f_envvars.cpp
  ui/f_cmdline.cpp)
