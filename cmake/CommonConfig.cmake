# One interface target carries the warnings and strictness that every target of the project shares.
add_library(cq_common INTERFACE)
target_compile_options(cq_common INTERFACE
    -Wall -Wextra -Wpedantic -Werror -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual
    -Wformat=2 -Wimplicit-fallthrough)

if(CQ_SANITIZE)
    target_compile_options(cq_common INTERFACE
        -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(cq_common INTERFACE -fsanitize=address,undefined)
endif()

if(CQ_FUZZ)
    # Coverage instrumentation for everything, so the fuzz targets are guided through the core too.
    target_compile_options(cq_common INTERFACE -fsanitize=fuzzer-no-link)
endif()
