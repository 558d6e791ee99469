# Shared build settings and the helpers every folder uses.

set(QF_CORE_TARGETS "" CACHE INTERNAL "Qt-free core targets")

# Fuzz builds (clang): every library gets libFuzzer's coverage hooks and the
# sanitizers; only the fuzz targets link libFuzzer's main.
if(QF_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(QF_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# Warnings for our own targets only; library headers are SYSTEM includes.
function(qf_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion)
  if(QF_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  # GCC 12's -Wrestrict misfires on inlined std::string concatenation at -O2
  # and above (GCC bug 105329), so optimised builds would fail on library code.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${target} PRIVATE $<$<NOT:$<CONFIG:Debug>>:-Wno-restrict>)
  endif()
endfunction()

# qf_core_library(NAME SOURCES ... LINKS ...): a Qt-free core library.
function(qf_core_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINKS;PRIVATE_LINKS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_LINKS} PRIVATE ${ARG_PRIVATE_LINKS})
  qf_warnings(${name})
  set(QF_CORE_TARGETS ${QF_CORE_TARGETS} ${name} CACHE INTERNAL "Qt-free core targets")
endfunction()

# qf_window_library(NAME SOURCES ... LINKS ...): the windows of one folder,
# built on the window kit (qf_ui). Nothing when the windows are not built.
function(qf_window_library name)
  if(NOT QF_BUILD_WINDOWS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;LINKS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
  target_link_libraries(${name} PUBLIC qf_ui ${ARG_LINKS})
  qf_warnings(${name})
endfunction()

# qf_test(NAME SOURCES ... LINKS ... [LABELS ...] [FIXTURES ...]): a GoogleTest
# executable registered with CTest, one test per executable so that fixtures
# (the local mail servers) can be attached to it.
function(qf_test name)
  if(NOT QF_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LINKS;LABELS;FIXTURES;ENVIRONMENT" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LINKS} GTest::gtest GTest::gtest_main GTest::gmock)
  qf_warnings(${name})
  add_test(NAME ${name} COMMAND ${name})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT}
    ENVIRONMENT "QF_SOURCE_DIR=${PROJECT_SOURCE_DIR};QF_BINARY_DIR=${PROJECT_BINARY_DIR};${ARG_ENVIRONMENT}")
  if(ARG_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}")
  endif()
  if(ARG_FIXTURES)
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED "${ARG_FIXTURES}")
  endif()
endfunction()

# qf_qt_test(NAME SOURCES ... LINKS ... [TIMEOUT s] [ENVIRONMENT ...]): a Qt
# Test executable driving real windows on the offscreen platform, registered
# with CTest. Links the windows library and the test answerer for message
# boxes.
function(qf_qt_test name)
  if(NOT QF_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LINKS;ENVIRONMENT" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
  target_link_libraries(${name} PRIVATE ${ARG_LINKS} quillfern_windows_testing Qt6::Test)
  qf_warnings(${name})
  add_test(NAME ${name} COMMAND ${name})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  # No session bus: a window test never sends a notice to the desktop of
  # whoever runs it (a test that needs a bus starts its own).
  set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/bus;QF_SOURCE_DIR=${PROJECT_SOURCE_DIR};QF_BINARY_DIR=${PROJECT_BINARY_DIR};${ARG_ENVIRONMENT}")
endfunction()
