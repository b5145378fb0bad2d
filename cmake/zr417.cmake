# Helpers shared by every subsystem folder.

# Every source a target names must exist: a missing one fails the configure
# step, so a test whose file is gone cannot drop out of the build unseen.
function(_zr417_require_sources)
  foreach(src ${ARGN})
    if(NOT IS_ABSOLUTE "${src}" AND NOT EXISTS "${CMAKE_CURRENT_SOURCE_DIR}/${src}")
      message(FATAL_ERROR "${CMAKE_CURRENT_SOURCE_DIR}: missing source ${src}")
    endif()
  endforeach()
endfunction()

# zr417_core_library(NAME SOURCES ... [DEPS ...])
# A library of core code: the standard library (and POSIX) only, no Qt.
function(zr417_core_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  _zr417_require_sources(${ARG_SOURCES})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  set_target_properties(${name} PROPERTIES AUTOMOC OFF AUTORCC OFF AUTOUIC OFF)
endfunction()

# zr417_ui_library(NAME SOURCES ... [DEPS ...])
# A library that uses Qt; never built in a core-only build.
function(zr417_ui_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  if(ZR417_CORE_ONLY)
    return()
  endif()
  _zr417_require_sources(${ARG_SOURCES})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
endfunction()

# zr417_test(NAME SOURCES ... [DEPS ...] [UI])
# One GoogleTest executable registered with ctest. Tests without UI carry the
# label "core" and also run in the sanitizer build; UI tests run headless.
function(zr417_test name)
  cmake_parse_arguments(ARG "UI" "TIMEOUT" "SOURCES;DEPS" ${ARGN})
  if(NOT ZR417_BUILD_TESTS OR (ARG_UI AND ZR417_CORE_ONLY))
    return()
  endif()
  _zr417_require_sources(${ARG_SOURCES})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_test(NAME ${name} COMMAND ${name})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  if(ARG_UI)
    set_tests_properties(${name} PROPERTIES LABELS "ui" TIMEOUT ${ARG_TIMEOUT}
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ZR417_RUNTIME_DIR=${ZR417_RUNTIME_DIR};ZR417_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
  else()
    set_target_properties(${name} PROPERTIES AUTOMOC OFF AUTORCC OFF AUTOUIC OFF)
    set_tests_properties(${name} PROPERTIES LABELS "core" TIMEOUT ${ARG_TIMEOUT}
      ENVIRONMENT "ZR417_RUNTIME_DIR=${ZR417_RUNTIME_DIR};ZR417_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
  endif()
endfunction()

# zr417_bench(NAME SOURCES ... [DEPS ...])
function(zr417_bench name)
  cmake_parse_arguments(ARG "UI" "" "SOURCES;DEPS" ${ARGN})
  if(ARG_UI AND ZR417_CORE_ONLY)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} benchmark::benchmark)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endfunction()

# zr417_runtime_file(SOURCE DEST): copy a file into the runtime folder at build time.
function(zr417_runtime_file target src dest)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E make_directory "$<PATH:GET_PARENT_PATH,${ZR417_RUNTIME_DIR}/${dest}>"
    COMMAND ${CMAKE_COMMAND} -E copy_if_different "${src}" "${ZR417_RUNTIME_DIR}/${dest}"
    VERBATIM)
endfunction()
