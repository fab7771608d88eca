# Warnings are errors on every compiler (g++ for the host and the arm build, mingw-w64 g++ for
# Windows, GCC for ARM for the device).
function(wrenfold_warnings target)
    target_compile_options(${target} PRIVATE
        -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wnon-virtual-dtor -Wformat=2
        -Wimplicit-fallthrough -Wmissing-declarations -Werror)
endfunction()

# A target of the product's own code: its warnings, and the device's processor where the build
# names one (the arm build compiles the product for ARMv4, as the device's compiler does).
function(wrenfold_product target)
    wrenfold_warnings(${target})
    target_compile_options(${target} PRIVATE ${WRENFOLD_PRODUCT_COMPILE_OPTIONS})
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
endfunction()

# The suites' own code is built for a quick build rather than a quick run (their cases take
# milliseconds, and most of a build's time went into optimising them); the product, the
# simulated device and the tools they test are compiled as the build type says.
function(wrenfold_test_code target)
    target_compile_options(${target} PRIVATE -Og)
endfunction()
