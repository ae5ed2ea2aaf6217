# tavox_add_test(<name> SOURCES <files...> [LIBS <targets...>] [ENV <VAR=value...>])
# One GoogleTest executable per component, its cases registered with CTest.
# Cases are listed when ctest runs, so the build never starts a test program;
# ENV applies to the listing and to every case alike.
include(GoogleTest)
function(tavox_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;ENV" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE tavox_test_support ${ARG_LIBS} GTest::gtest GTest::gmock tavox::build_options)
  if(ARG_ENV)
    set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR "${CMAKE_COMMAND};-E;env;${ARG_ENV}")
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60)
endfunction()
