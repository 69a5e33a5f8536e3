include(GoogleTest)

# The programs of the tests labelled unit (and what they start), so that a build may make only
# those: the sanitizer run of the test command does.
add_custom_target(trovex_unit_tests)

# trovex_add_test(NAME name SOURCES ... [LIBS ...] [GUI] [TIMEOUT seconds])
# Every GoogleTest case becomes one CTest test. GUI tests need a display (the test command runs
# ctest under Xvfb), are labelled "gui" and always run under a time limit so a dialog that
# nobody answers fails instead of hanging.
function(trovex_add_test)
  cmake_parse_arguments(T "GUI" "NAME;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT T_TIMEOUT)
    if(T_GUI)
      set(T_TIMEOUT 60)
    else()
      set(T_TIMEOUT 120)
    endif()
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR})
  if(T_GUI)
    trovex_use_wx_pch(${T_NAME})
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} trovex_testsupport_gui GTest::gtest)
    set(labels gui)
    # One display for all GUI tests: run them one at a time so windows never steal focus.
    set(lock RESOURCE_LOCK display)
  else()
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} trovex_testsupport GTest::gtest GTest::gtest_main)
    add_dependencies(trovex_unit_tests ${T_NAME})
    set(labels unit)
    set(lock)
  endif()
  set(env)
  if(TROVEX_SANITIZE)
    set(env ENVIRONMENT "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/support/lsan.supp:print_suppressions=0")
  endif()
  gtest_discover_tests(${T_NAME}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${labels}" ${lock} ${env})
endfunction()
