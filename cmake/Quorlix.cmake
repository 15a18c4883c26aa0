# Build helpers shared by every folder.
#
#   quorlix_library(<target> [NO_QT] [RECURSE] [DEPS <targets...>])
#     A static library from the *.c/*.cpp/*.h files of the calling folder (not its
#     subfolders, unless RECURSE). NO_QT: plain C/C++ code that must never see Qt
#     (the engines). RECURSE: the subfolders' files too, for one library whose
#     code is sorted into folders (the page sections).
#
#   quorlix_test(<name> SOURCES <files...> [DEPS <targets...>] [TIMEOUT <s>] [LABELS <l...>]
#                [NETNS] [ENV <VAR=value...>] [WRAPPER <command...>])
#     A Qt Test executable registered with CTest. It runs through
#     tests/support/isolated-run.sh: a fresh temporary HOME and XDG folders,
#     LC_ALL=C, the offscreen platform with a 1920x1080 screen, and service origins
#     pointed at a closed loopback port. NETNS: run inside a private network
#     namespace (root only; the test is skipped elsewhere). WRAPPER: the test
#     runs as the arguments of this command, inside that sealed-off environment.

# With Ninja, a target's moc step reruns only when a file it already knew
# changed: a header with Q_OBJECT that arrives later (a new file, a rebase)
# is left out of the moc output and the link fails on its missing vtables.
# The globs notice the new header and configure again; when the target's
# header list differs from the last configure's, the moc step's stamp is
# removed here, so the build runs the step again.
function(quorlix_autogen_follows_headers target)
  set(headers ${ARGN})
  list(FILTER headers INCLUDE REGEX "\\.h$")
  set(list_file ${CMAKE_CURRENT_BINARY_DIR}/${target}_autogen_headers.txt)
  set(previous)
  if(EXISTS ${list_file})
    file(READ ${list_file} previous)
  endif()
  if(NOT "${previous}" STREQUAL "${headers}")
    file(WRITE ${list_file} "${headers}")
    file(REMOVE ${CMAKE_CURRENT_BINARY_DIR}/${target}_autogen/timestamp)
  endif()
endfunction()

function(quorlix_library target)
  cmake_parse_arguments(ARG "NO_QT;RECURSE" "" "DEPS" ${ARGN})
  set(glob GLOB)
  if(ARG_RECURSE)
    set(glob GLOB_RECURSE)
  endif()
  file(${glob} sources CONFIGURE_DEPENDS
    ${CMAKE_CURRENT_SOURCE_DIR}/*.c
    ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  list(FILTER sources EXCLUDE REGEX "/main\\.cpp$")
  if(NOT sources)
    # A folder whose code has not arrived yet still yields a linkable target.
    set(stub ${CMAKE_CURRENT_BINARY_DIR}/${target}_empty.cpp)
    if(NOT EXISTS ${stub})
      file(WRITE ${stub} "// intentionally empty\n")
    endif()
    set(sources ${stub})
  endif()
  add_library(${target} STATIC ${sources})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
  set_target_properties(${target} PROPERTIES POSITION_INDEPENDENT_CODE ON)
  if(ARG_NO_QT)
    set_target_properties(${target} PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
  else()
    set_target_properties(${target} PROPERTIES AUTOMOC ON)
    quorlix_autogen_follows_headers(${target} ${sources})
  endif()
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(ARG_DEPS)
    target_link_libraries(${target} PUBLIC ${ARG_DEPS})
  endif()
endfunction()

set(QUORLIX_TEST_RUNNER ${PROJECT_SOURCE_DIR}/tests/support/isolated-run.sh)

# Qt Test (with the parts of Core, Gui, Widgets and Network it brings), parsed
# once for every test file rather than in each: about a third of a test
# file's compile time. A larger header (all of Widgets and Network) costs more
# to load into each file than it saves. GCC takes a precompiled header only
# where every macro defined when it was made is defined alike, so every test
# links Widgets (Qt Test's headers look at QT_WIDGETS_LIB and QT_GUI_LIB) and
# drops the per-folder test data paths Qt Test defines (no test uses
# QFINDTESTDATA). With it, a test that forgets an include of Qt's still
# compiles here; a build without it (another compiler, QUORLIX_TEST_PCH=OFF)
# finds it.
option(QUORLIX_TEST_PCH "Share one precompiled header between the tests (GCC)" ON)
set(QUORLIX_TEST_COMPILE_OPTIONS -UQT_TESTCASE_BUILDDIR -UQT_TESTCASE_SOURCEDIR)

function(quorlix_test_pch_target)
  if(NOT QUORLIX_TEST_PCH OR NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU" OR TARGET quorlix_test_pch)
    return()
  endif()
  set(stub ${CMAKE_CURRENT_BINARY_DIR}/quorlix_test_pch.cpp)
  if(NOT EXISTS ${stub})
    file(WRITE ${stub} "// intentionally empty: the target only makes the tests' precompiled header\n")
  endif()
  add_library(quorlix_test_pch STATIC ${stub})
  set_target_properties(quorlix_test_pch PROPERTIES AUTOMOC OFF)
  target_link_libraries(quorlix_test_pch PRIVATE Qt6::Test Qt6::Widgets Qt6::Network)
  target_compile_options(quorlix_test_pch PRIVATE ${QUORLIX_TEST_COMPILE_OPTIONS})
  target_precompile_headers(quorlix_test_pch PRIVATE "$<$<COMPILE_LANGUAGE:CXX>:<QtTest>>")
endfunction()

function(quorlix_test name)
  cmake_parse_arguments(ARG "NETNS" "TIMEOUT" "SOURCES;DEPS;LABELS;ENV;WRAPPER" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
  quorlix_autogen_follows_headers(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE Qt6::Test Qt6::Widgets quorlix_testsupport ${ARG_DEPS})
  target_compile_options(${name} PRIVATE ${QUORLIX_TEST_COMPILE_OPTIONS})
  if(TARGET quorlix_test_pch)
    target_precompile_headers(${name} REUSE_FROM quorlix_test_pch)
    # The moc output of a test is mostly empty (its file includes its own):
    # loading the header would cost more than it saves.
    set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/${name}_autogen/mocs_compilation.cpp
                                PROPERTIES SKIP_PRECOMPILE_HEADERS ON)
  endif()
  set(runner_args)
  if(ARG_NETNS)
    list(APPEND runner_args --netns)
  endif()
  add_test(NAME ${name} COMMAND ${QUORLIX_TEST_RUNNER} ${runner_args} ${ARG_WRAPPER} $<TARGET_FILE:${name}>)
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  file(RELATIVE_PATH rel ${PROJECT_SOURCE_DIR}/tests ${CMAKE_CURRENT_SOURCE_DIR})
  set_tests_properties(${name} PROPERTIES
    TIMEOUT ${ARG_TIMEOUT}
    LABELS "${rel};${ARG_LABELS}"
    SKIP_RETURN_CODE 77
    ENVIRONMENT "QUORLIX_SOURCE_DIR=${PROJECT_SOURCE_DIR};QUORLIX_BINARY_DIR=${PROJECT_BINARY_DIR};${ARG_ENV}")
endfunction()

#   quorlix_test_folder([DEPS <targets...>] [TIMEOUT <s>])
#     One test per tst_*.cpp file of the calling folder, each also built with
#     the folder's other *.cpp and *.h files (shared fixtures; the *.cpp files
#     are compiled once for the whole folder). Files named tst_netns_*.cpp run
#     in a private network namespace (see NETNS above).
function(quorlix_test_folder)
  cmake_parse_arguments(ARG "" "TIMEOUT" "DEPS" ${ARGN})
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tst_*.cpp)
  file(GLOB shared CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  list(FILTER shared EXCLUDE REGEX "/tst_[^/]*\\.cpp$")
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  set(deps ${ARG_DEPS})
  set(fixture_sources ${shared})
  list(FILTER fixture_sources INCLUDE REGEX "\\.cpp$")
  if(fixture_sources)
    file(RELATIVE_PATH rel ${PROJECT_SOURCE_DIR}/tests ${CMAKE_CURRENT_SOURCE_DIR})
    string(MAKE_C_IDENTIFIER "quorlix_fixtures_${rel}" fixtures)
    add_library(${fixtures} OBJECT ${shared})
    set_target_properties(${fixtures} PROPERTIES AUTOMOC ON)
    quorlix_autogen_follows_headers(${fixtures} ${shared})
    target_link_libraries(${fixtures} PUBLIC Qt6::Test Qt6::Widgets quorlix_testsupport ${ARG_DEPS})
    target_compile_options(${fixtures} PRIVATE ${QUORLIX_TEST_COMPILE_OPTIONS})
    list(APPEND deps ${fixtures})
    set(shared)
  endif()
  foreach(file IN LISTS tests)
    get_filename_component(name ${file} NAME_WE)
    set(netns)
    if(name MATCHES "^tst_netns_")
      set(netns NETNS)
    endif()
    quorlix_test(${name} ${netns} SOURCES ${file} ${shared} DEPS ${deps} TIMEOUT ${ARG_TIMEOUT})
  endforeach()
endfunction()
