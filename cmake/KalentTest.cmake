# kalent_add_test(<name> SOURCES <files...> LIBS <targets...> [TIMEOUT <seconds>])
# One QtTest executable per topic, registered with ctest. Every test runs on the
# offscreen platform with a private runtime folder, so no display is needed and
# tests never share state through the user's folders.
function(kalent_add_test name)
    cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
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
