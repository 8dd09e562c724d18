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
    set_tests_properties(${name} PROPERTIES
        TIMEOUT ${ARG_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;XDG_RUNTIME_DIR=${runtime_dir};HOME=${runtime_dir};KALENT_TEST_DATA=${PROJECT_SOURCE_DIR}/tests/data")
endfunction()
