# Warnings for every target of ours, attached per target rather than globally.
add_library(numera_warnings INTERFACE)
target_compile_options(numera_warnings INTERFACE
  -Wall -Wextra -Wshadow -Wconversion -Wno-sign-conversion
  -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Wunused -Woverloaded-virtual
  -Wdouble-promotion -Wformat=2 -Wimplicit-fallthrough)
add_library(numera::warnings ALIAS numera_warnings)
