# The distribution's hardening flags (what `DEB_BUILD_MAINT_OPTIONS=hardening=+all
# dpkg-buildflags` gives on Debian 12) for every build with GCC or Clang on an
# ELF system: a stack protector, checked string and memory functions, format
# checks, and a relocation table made read-only before the program runs. The
# executables are position-independent already (Debian's compilers default to PIE).
option(KALENT_HARDENING "Build with the distribution's hardening flags" ON)

if(KALENT_HARDENING AND CMAKE_SYSTEM_NAME STREQUAL "Linux"
   AND CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    add_compile_options(-fstack-protector-strong -Wformat -Werror=format-security)
    # _FORTIFY_SOURCE needs the optimiser (a Debug build would only warn), and the
    # sanitizers check the same calls their own way.
    if(NOT KALENT_SANITIZE)
        add_compile_definitions($<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
    endif()
    add_link_options(LINKER:-z,relro LINKER:-z,now)
    set(CMAKE_POSITION_INDEPENDENT_CODE ON)
endif()
