# Project-wide compiler settings shared by every target.

function(kv37_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(KV37_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

if(KV37_SANITIZE)
  add_compile_options(-fsanitize=${KV37_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${KV37_SANITIZE})
endif()

if(KV37_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "KV37_FUZZ needs clang (use the 'fuzz' preset)")
  endif()
  # Instrument everything for coverage; only the harnesses link the fuzzer driver.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# Adds one GoogleTest executable and registers its cases with CTest.
#   kv37_add_gtest(NAME name SOURCES ... LIBS ... [LABELS ...] [GUI] [TIMEOUT s])
# GUI tests get QT_QPA_PLATFORM=offscreen both for discovery and for the run.
function(kv37_add_gtest)
  cmake_parse_arguments(T "GUI" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  kv37_warnings(${T_NAME})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  set(env "")
  if(T_GUI)
    set(env "QT_QPA_PLATFORM=offscreen")
  endif()
  gtest_discover_tests(${T_NAME}
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS "${T_LABELS}" TIMEOUT ${T_TIMEOUT} ENVIRONMENT "${env}")
endfunction()
