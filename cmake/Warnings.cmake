# Our own targets link zerviko_warnings: -Wall -Wextra in our code, never in the headers
# of the libraries we use (those come in as system includes). The presets, and so the
# test command and CI, make them errors; a plain build (a packager's, or one with
# another compiler whose warnings we have not seen) shows them and goes on.
option(ZERVIKO_WARNINGS_AS_ERRORS "Make compiler warnings in our own code errors (the presets turn it on)" OFF)
add_library(zerviko_warnings INTERFACE)
target_compile_options(zerviko_warnings INTERFACE -Wall -Wextra)
if(ZERVIKO_WARNINGS_AS_ERRORS)
  target_compile_options(zerviko_warnings INTERFACE -Werror)
endif()
