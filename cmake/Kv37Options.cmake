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
# GUI tests run with QT_QPA_PLATFORM=offscreen; a GUI test program with its own
# main sets it there too, since discovery runs the program without it.
function(kv37_add_gtest)
  cmake_parse_arguments(T "GUI" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  kv37_warnings(${T_NAME})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 60 TEST_LIST ${T_NAME}_TESTS)

  # Discovery hands PROPERTIES on as one flat list, which cannot carry a list
  # of labels; so the properties are set once the discovered names are known.
  set(props "LABELS \"${T_LABELS}\" TIMEOUT ${T_TIMEOUT}")
  if(T_GUI)
    string(APPEND props " ENVIRONMENT QT_QPA_PLATFORM=offscreen")
  endif()
  set(script ${CMAKE_CURRENT_BINARY_DIR}/${T_NAME}_properties.cmake)
  file(WRITE ${script}
    "if(DEFINED ${T_NAME}_TESTS)\n"
    "  set_tests_properties(\${${T_NAME}_TESTS} PROPERTIES ${props})\n"
    "endif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${script})
endfunction()

# Runs a GoogleTest program's cases once more in another setting, as one
# CTest case named <target>.<suffix>: on a scaled screen, or on a desktop
# with a window manager.
#   kv37_add_gtest_rerun(TARGET t SUFFIX s [FILTER pattern] [WRAPPER cmd...]
#                        [ENVIRONMENT var=value...] [LABELS ...] [TIMEOUT s])
function(kv37_add_gtest_rerun)
  cmake_parse_arguments(R "" "TARGET;SUFFIX;FILTER;TIMEOUT" "WRAPPER;ENVIRONMENT;LABELS" ${ARGN})
  set(filter)
  if(R_FILTER)
    set(filter "--gtest_filter=${R_FILTER}")
  endif()
  if(NOT R_TIMEOUT)
    set(R_TIMEOUT 120)
  endif()
  add_test(NAME ${R_TARGET}.${R_SUFFIX} COMMAND ${R_WRAPPER} $<TARGET_FILE:${R_TARGET}> ${filter})
  set_tests_properties(${R_TARGET}.${R_SUFFIX} PROPERTIES
    LABELS "${R_LABELS}" TIMEOUT ${R_TIMEOUT} ENVIRONMENT "${R_ENVIRONMENT}")
endfunction()
