# tavox_add_test(<name> SOURCES <files...> [LIBS <targets...>] [ENV <VAR=value...>])
# One GoogleTest executable per component, its cases registered with CTest.
include(GoogleTest)
function(tavox_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;ENV" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE tavox_test_support ${ARG_LIBS} GTest::gtest GTest::gmock)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ENVIRONMENT "${ARG_ENV}")
endfunction()
