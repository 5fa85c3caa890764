# Shared build rules of the suite.

set(SUITE_WARNINGS -Wall -Wextra)
if(SUITE_WERROR)
  list(APPEND SUITE_WARNINGS -Werror)
endif()

if(SUITE_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# Platform libraries register their COM classes when they are loaded, and suite code often
# reaches them only through CoCreateInstance: keep every library a target links, used or not.
add_link_options(LINKER:--no-as-needed)

# suite_warnings(target): our own warning policy on one of our targets.
function(suite_warnings target)
  target_compile_options(${target} PRIVATE ${SUITE_WARNINGS})
endfunction()

# suite_platform_library(name SOURCES ... [DEPS ...]): a shared library of platform/.
function(suite_platform_library name)
  cmake_parse_arguments(A "" "" "SOURCES;DEPS;PRIVATE_DEPS" ${ARGN})
  add_library(${name} SHARED ${A_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include)
  target_link_libraries(${name} PUBLIC ${A_DEPS} PRIVATE ${A_PRIVATE_DEPS})
  set_target_properties(${name} PROPERTIES CXX_VISIBILITY_PRESET default)
  suite_warnings(${name})
endfunction()

# suite_com_library(name SOURCES ... [DEPS ...]): an in-process COM server loaded with dlopen
# from the program folder (named like the library it stands for, without prefix or suffix).
function(suite_com_library name)
  cmake_parse_arguments(A "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} MODULE ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_DEPS})
  set_target_properties(${name} PROPERTIES
    PREFIX "" SUFFIX ".so"
    LIBRARY_OUTPUT_DIRECTORY ${SUITE_BIN_DIR})
  suite_warnings(${name})
endfunction()

# suite_test(name LABELS a;b SOURCES ... DEPS ... [TIMEOUT s]): a GoogleTest executable run by
# CTest headless, with a private registry folder and a private temporary folder.
function(suite_test name)
  cmake_parse_arguments(A "" "TIMEOUT" "LABELS;SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_DEPS} GTest::gtest GTest::gtest_main Threads::Threads)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  suite_warnings(${name})
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 1500)
  endif()
  set(scratch ${CMAKE_BINARY_DIR}/test-scratch/${name})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    LABELS "${A_LABELS}"
    TIMEOUT ${A_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;SUITE_REGISTRY_DIR=${scratch}/registry;SUITE_TEST_SCRATCH=${scratch};SUITE_BIN_DIR=${SUITE_BIN_DIR};LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tools/lsan.supp:print_suppressions=0;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1;ASAN_OPTIONS=detect_leaks=1:detect_odr_violation=0")
endfunction()

# suite_help_folder(Name [SOURCE dir] [DESTINATION dir]): the help pages of SOURCE (default
# docs/help/<Name>) copied to DESTINATION/<Name>.help (default the program folder), where the
# help window finds "\<Name>.chm". Copied again whenever a page changes.
function(suite_help_folder name)
  cmake_parse_arguments(A "" "SOURCE;DESTINATION" "" ${ARGN})
  if(NOT A_SOURCE)
    set(A_SOURCE ${PROJECT_SOURCE_DIR}/docs/help/${name})
  endif()
  if(NOT A_DESTINATION)
    set(A_DESTINATION ${SUITE_BIN_DIR})
  endif()
  file(GLOB_RECURSE pages CONFIGURE_DEPENDS ${A_SOURCE}/*)
  set(out ${A_DESTINATION}/${name}.help)
  set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${name}.help.stamp)
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${out}
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${A_SOURCE} ${out}
    COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
    DEPENDS ${pages}
    COMMENT "Help pages ${name}.help"
    VERBATIM)
  add_custom_target(help_${name} ALL DEPENDS ${stamp})
endfunction()
