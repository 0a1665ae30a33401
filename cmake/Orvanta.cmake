# Helpers that give every deliverable the same shape.

# orvanta_program_part(TARGET...): targets the running program needs in its folder; the target
# "program" (what ./run.sh builds) builds them and nothing else. Libraries and plug-ins join by
# themselves; a helper program the shell starts joins with this.
function(orvanta_program_part)
  set_property(GLOBAL APPEND PROPERTY ORVANTA_PROGRAM_PARTS ${ARGN})
endfunction()

# orvanta_library(NAME SOURCES ... [PUBLIC_LINK ...] [PRIVATE_LINK ...])
# A shared library in the program folder. Its folder and the project's include/ are public.
function(orvanta_library name)
  cmake_parse_arguments(A "" "" "SOURCES;PUBLIC_LINK;PRIVATE_LINK" ${ARGN})
  add_library(${name} SHARED ${A_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/include)
  target_link_libraries(${name} PUBLIC ${A_PUBLIC_LINK} PRIVATE ${A_PRIVATE_LINK})
  add_dependencies(${name} orvanta_runtime)
  orvanta_program_part(${name})
endfunction()

# orvanta_plugin(NAME SOURCES ... [LINK ...])
# A plug-in: a shared library whose only export is CreatePlugin.
function(orvanta_plugin name)
  cmake_parse_arguments(A "" "" "SOURCES;LINK" ${ARGN})
  add_library(${name} SHARED ${A_SOURCES})
  target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/include)
  target_link_libraries(${name} PRIVATE ${A_LINK})
  set_target_properties(${name} PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  add_dependencies(${name} orvanta_runtime)
  orvanta_program_part(${name})
  if(NOT A_SOURCES MATCHES "/empty\\.cpp$")
    set_property(GLOBAL APPEND PROPERTY ORVANTA_BUILT_PLUGINS ${name})
  endif()
endfunction()

# orvanta_tests(NAME SOURCES ... [LINK ...] [LABELS ...])
# A GoogleTest executable, one CTest test, labelled "unit" unless LABELS says otherwise
# ("peer" for tests against a real DICOM peer, "gui" for offscreen windows).
function(orvanta_tests name)
  cmake_parse_arguments(A "" "TIMEOUT" "SOURCES;LINK;LABELS" ${ARGN})
  if(NOT A_LABELS)
    set(A_LABELS unit)
  endif()
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 300)
  endif()
  if(ORVANTA_SANITIZE)
    math(EXPR A_TIMEOUT "${A_TIMEOUT} * 5")  # instrumented code runs several times slower
  endif()
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE orvanta_testmain ${A_LINK})
  set_target_properties(${name} PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${ORVANTA_TEST_DIR}
    BUILD_RPATH "${ORVANTA_BIN_DIR}")
  add_test(NAME ${name} COMMAND ${name} --gtest_color=no
           WORKING_DIRECTORY ${ORVANTA_TEST_DIR})
  set_tests_properties(${name} PROPERTIES LABELS "${A_LABELS}" TIMEOUT ${A_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ORVANTA_BIN_DIR=${ORVANTA_BIN_DIR};ORVANTA_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
endfunction()

# orvanta_sources(OUT DIRS...): the .cpp files of the given folders (relative to the current
# one). A library with no sources yet builds from one empty file, so every deliverable links.
function(orvanta_sources out)
  set(files)
  foreach(dir ${ARGN})
    file(GLOB found CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp)
    list(APPEND files ${found})
  endforeach()
  if(NOT files)
    set(stub ${CMAKE_CURRENT_BINARY_DIR}/empty.cpp)
    file(WRITE ${stub} "// Nothing built here yet.\n")
    set(files ${stub})
  endif()
  set(${out} ${files} PARENT_SCOPE)
endfunction()

# orvanta_folder_tests(NAME [LINK ...] [LABELS ...]): tests/*.cpp of the current folder as one
# test executable, when there are any.
function(orvanta_folder_tests name)
  cmake_parse_arguments(A "" "TIMEOUT" "LINK;LABELS" ${ARGN})
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/*.cpp)
  # Screens registered for the shots tool are built there, not into the tests.
  list(FILTER tests EXCLUDE REGEX "Shots\\.cpp$")
  if(tests AND BUILD_TESTING)
    orvanta_tests(${name} SOURCES ${tests} LINK ${A_LINK} LABELS ${A_LABELS} TIMEOUT ${A_TIMEOUT})
  endif()
endfunction()

# orvanta_shots(SOURCES ... [LINK ...]): sources that register windows with ORVANTA_SHOT, built
# into the shots tool (tools/shots) with the given libraries; the current folder is on its
# include path.
function(orvanta_shots)
  cmake_parse_arguments(A "" "" "SOURCES;LINK" ${ARGN})
  foreach(source ${A_SOURCES})
    get_filename_component(path ${source} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
    set_property(GLOBAL APPEND PROPERTY ORVANTA_SHOT_SOURCES ${path})
  endforeach()
  set_property(GLOBAL APPEND PROPERTY ORVANTA_SHOT_LINKS ${A_LINK})
  set_property(GLOBAL APPEND PROPERTY ORVANTA_SHOT_INCLUDES ${CMAKE_CURRENT_SOURCE_DIR})
endfunction()
