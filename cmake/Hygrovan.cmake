# Shared helpers for the project's targets.

# hv_library(name SOURCES ... LIBS ...): a static library of one folder of
# src/, whose users include its headers from src/ ("store/db_table.h") and
# link what it links (LIBS). A folder's code without widgets is a library of
# its own (hv_views_core beside hv_views), which the cli and the tests use.
function(hv_library name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${A_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${A_LIBS})
endfunction()

# hv_test(name SOURCES ... LIBS ...): a GoogleTest executable registered with ctest.
# Every test runs offscreen with its own settings folder and working folder
# (set up by the shared test main).
function(hv_test name)
  cmake_parse_arguments(A "GUI" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  if(A_GUI)
    target_link_libraries(${name} PRIVATE hv_testmain_gui ${A_LIBS})
  else()
    target_link_libraries(${name} PRIVATE hv_testmain ${A_LIBS})
  endif()
  gtest_discover_tests(${name}
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;HYGROVAN_SOURCE_DIR=${PROJECT_SOURCE_DIR};HYGROVAN_BINARY_DIR=${PROJECT_BINARY_DIR}"
    DISCOVERY_TIMEOUT 60)
endfunction()

# hv_fuzzer(name SOURCES ... LIBS ...): a libFuzzer target, built when HYGROVAN_FUZZ is on.
function(hv_fuzzer name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PRIVATE ${A_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
endfunction()
