# -Wall -Wextra everywhere; warnings are errors so that a warning never lands.
add_compile_options(-Wall -Wextra -Werror)
if(WIN32)
    # mingw's printf checks do not know the wide formats of the CRT.
    add_compile_options(-Wno-format)
endif()
