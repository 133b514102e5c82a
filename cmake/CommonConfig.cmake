# One interface target carries the warnings and strictness that every target of the project shares.
# Warnings become errors only where the project's own developers and CI build: a user's build
# with another compiler version must not fail on a warning that version adds.
option(CQ_WARNINGS_AS_ERRORS "Treat compiler warnings as errors (CI and developer builds)" OFF)

add_library(cq_common INTERFACE)
target_compile_options(cq_common INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual
    -Wformat=2 -Wimplicit-fallthrough)
# GCC 12 at -O3 reports overlapping copies and over-long reads inside std::string and the
# standard algorithms that cannot happen (GCC bug 105329 and its kin, mended in GCC 13), e.g.
# for s = " " or "x" + text.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(cq_common INTERFACE -Wno-restrict -Wno-stringop-overread)
endif()
# Hardening as Debian builds its own packages: a stack protector, libc calls checked where the
# optimiser knows the sizes (level 2 whatever the compiler sets by itself; fortify needs
# optimisation, so not in Debug builds), relocations made read-only and bound at start.
target_compile_options(cq_common INTERFACE -fstack-protector-strong
    $<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE> $<$<NOT:$<CONFIG:Debug>>:-D_FORTIFY_SOURCE=2>)
target_link_options(cq_common INTERFACE -Wl,-z,relro -Wl,-z,now)
if(CQ_WARNINGS_AS_ERRORS)
    target_compile_options(cq_common INTERFACE -Werror)
endif()

if(CQ_SANITIZE)
    target_compile_options(cq_common INTERFACE
        -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(cq_common INTERFACE -fsanitize=address,undefined)
endif()

if(CQ_FUZZ)
    # Coverage instrumentation for everything, so the fuzz targets are guided through the core too.
    target_compile_options(cq_common INTERFACE -fsanitize=fuzzer-no-link)
endif()
