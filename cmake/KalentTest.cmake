# kalent_add_test(<name> SOURCES <files...> LIBS <targets...> [TIMEOUT <seconds>])
# One QtTest executable per topic, registered with ctest. Every test runs on the
# offscreen platform with a private runtime folder, so no display is needed and
# tests never share state through the user's folders.
# TIMEOUT is a few times what the test takes, so a hang costs seconds: the
# default suits the tests on the manual clock (well under a second each, a few
# under the sanitizers); the ones that run processes over a pty give their own.
function(kalent_add_test name)
    cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 15)
    endif()
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE Qt6::Test kalent_test_support ${ARG_LIBS})
    add_test(NAME ${name} COMMAND ${name})
    set(runtime_dir "${CMAKE_CURRENT_BINARY_DIR}/${name}.runtime")
    file(MAKE_DIRECTORY "${runtime_dir}")
    set(environment "QT_QPA_PLATFORM=offscreen;XDG_RUNTIME_DIR=${runtime_dir};HOME=${runtime_dir};KALENT_TEST_DATA=${PROJECT_SOURCE_DIR}/tests/data")
    if(CMAKE_CROSSCOMPILING AND WIN32)
        # Under Wine (CMAKE_CROSSCOMPILING_EMULATOR): one prefix for all tests,
        # made once by scripts/windows-build.sh (a fresh one per test would cost
        # seconds of Wine's start-up each), Qt's DLLs found through WINEPATH, and
        # Wine's own chatter kept out of the output. Wine keeps the Unix QT_*
        # variables (meant for the host's Qt) away from Windows programs and
        # passes WINEQT_* on as QT_*: without that the tests would use the
        # Windows platform plugin with no display behind it. QtTest on Windows
        # writes its log to the debugger unless stderr is a console or logging
        # to it is forced, so a ctest pipe would see no line of it. The offscreen
        # platform on Windows reads fonts from one folder only (none ships with
        # Qt): DejaVu, the fonts the suites measure text with on Linux. Wine
        # starts slowly on a busy machine: the deadlines are tripled.
        list(APPEND environment "WINEPREFIX=${KALENT_WINE_PREFIX}" "WINEPATH=${KALENT_WINE_PATH}"
            "WINEQT_QPA_PLATFORM=offscreen" "WINEQT_FORCE_STDERR_LOGGING=1"
            "WINEQT_QPA_FONTDIR=${KALENT_WINE_FONT_DIR}" "WINEDEBUG=-all")
        math(EXPR ARG_TIMEOUT "${ARG_TIMEOUT} * 3")
    endif()
    set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT} ENVIRONMENT "${environment}")
endfunction()

# kalent_linux_only_test(<name> <why>)
# A suite that needs what only Linux gives (a pseudo-terminal, RLIMIT_FSIZE,
# mknod, chattr, FIFOs, xdg-open). Built for another system it is registered as
# a disabled test, so every ctest run names it among the tests that did not run
# instead of leaving it out unseen.
function(kalent_linux_only_test name why)
    add_test(NAME ${name} COMMAND ${CMAKE_COMMAND} -E echo "Linux-only: ${why}")
    set_tests_properties(${name} PROPERTIES DISABLED TRUE LABELS linux-only)
endfunction()
