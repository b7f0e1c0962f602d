# Helpers that register GoogleTest programs and Lua test files with ctest.

# qz_add_gtest(NAME SOURCES... LIBS ...): one GoogleTest program, each test a ctest test.
function(qz_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE
    QZ_SOURCE_DIR="${CMAKE_SOURCE_DIR}" QZ_BINARY_DIR="${CMAKE_BINARY_DIR}"
    QZ_LUAC="${QZ_LUAC}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "ALSOFT_DRIVERS=null")
endfunction()

# qz_add_lua_test(FILE [NAME name] [PRECOMPILED] [ARGS ...]): runs a Lua test file as the
# engine script of a real engine state through qzrun, in a fresh work folder that also
# serves as the save path. PRECOMPILED runs it as a chunk compiled by our luac. The file
# requires "check" from tests/support.
function(qz_add_lua_test file)
  cmake_parse_arguments(ARG "PRECOMPILED" "NAME" "ARGS" ${ARGN})
  get_filename_component(base ${file} NAME_WE)
  if(ARG_NAME)
    set(base ${ARG_NAME})
  endif()
  file(RELATIVE_PATH rel ${CMAKE_SOURCE_DIR}/tests ${CMAKE_CURRENT_SOURCE_DIR})
  string(REPLACE "/" "." prefix "${rel}")
  set(script ${CMAKE_CURRENT_SOURCE_DIR}/${file})
  if(ARG_PRECOMPILED)
    set(chunk ${CMAKE_CURRENT_BINARY_DIR}/${base}.luo)
    add_custom_command(OUTPUT ${chunk} COMMAND ${QZ_LUAC} -o ${chunk} ${script} DEPENDS ${script}
      COMMENT "Precompiling ${file}")
    add_custom_target(${prefix}.${base}.luo ALL DEPENDS ${chunk})
    set(script ${chunk})
  endif()
  add_test(NAME lua.${prefix}.${base}
    COMMAND ${CMAKE_SOURCE_DIR}/tests/support/run_lua_test
      $<TARGET_FILE:qzrun> ${CMAKE_CURRENT_BINARY_DIR}/lua-work/${base}
      ${script} ${ARG_ARGS})
  set_tests_properties(lua.${prefix}.${base} PROPERTIES ENVIRONMENT
    "LUA_PATH=${CMAKE_SOURCE_DIR}/tests/support/?.lua\\;${CMAKE_CURRENT_SOURCE_DIR}/?.lua\\;${CMAKE_CURRENT_SOURCE_DIR}/lua/?.lua;QZ_SOURCE_DIR=${CMAKE_SOURCE_DIR};QZ_BINARY_DIR=${CMAKE_BINARY_DIR};QZ_LUAC=${QZ_LUAC};ALSOFT_DRIVERS=null")
endfunction()
