# Our own targets link zerviko_warnings: warnings are errors in our code, never in
# the headers of the libraries we use (those come in as system includes).
add_library(zerviko_warnings INTERFACE)
target_compile_options(zerviko_warnings INTERFACE -Wall -Wextra -Werror)
