# Warnings are errors on both compilers (g++ for the host, mingw-w64 g++ for Windows).
function(wrenfold_warnings target)
    target_compile_options(${target} PRIVATE
        -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wnon-virtual-dtor -Wformat=2
        -Wimplicit-fallthrough -Wmissing-declarations -Werror)
endfunction()
