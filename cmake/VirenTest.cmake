# viren_add_test(NAME name SOURCES a.cpp ... LIBS lib ... [LABEL label] [TIMEOUT s])
# One test executable, each GoogleTest case registered with CTest, run with its
# temporary folders under build/test-tmp, offscreen Qt, and the program folder
# and source tree known to test::ProgramFolder() and test::SourceDir().
include(GoogleTest)
find_package(GTest REQUIRED)

function(viren_add_test)
  cmake_parse_arguments(T "" "NAME;LABEL;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT T_LABEL)
    set(T_LABEL unit)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} viren_testsupport GTest::gtest GTest::gmock GTest::gtest_main)
  add_dependencies(${T_NAME} program_folder)
  gtest_discover_tests(${T_NAME}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES
      LABELS ${T_LABEL}
      TIMEOUT ${T_TIMEOUT}
      ENVIRONMENT QT_QPA_PLATFORM=offscreen)
endfunction()
