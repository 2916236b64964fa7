# kvl_subsystem(NAME [DEPS sub...] [EXTRA_LIBS lib...])
#   Declares the subsystem kvl/NAME: an object library kvl_NAME built from
#   the folder's *.cc files (tests and internal/*.cc included in the library,
#   *_test.cc excluded), using the subsystems in DEPS, and a test program
#   kvl_NAME_test from its *_test.cc files, registered with CTest.
set(KVL_SUBSYSTEMS "" CACHE INTERNAL "")

function(kvl_subsystem name)
  cmake_parse_arguments(ARG "" "" "DEPS;EXTRA_LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cc
       ${CMAKE_CURRENT_SOURCE_DIR}/internal/*.cc)
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cc
       ${CMAKE_CURRENT_SOURCE_DIR}/internal/*_test.cc)
  if(tests)
    list(REMOVE_ITEM sources ${tests})
  endif()
  if(NOT sources)
    message(STATUS "kvl/${name}: no sources yet, skipped")
    return()
  endif()
  add_library(kvl_${name} OBJECT ${sources})
  # Only what the public headers mark with KVL_EXPORT (kvl/runtime/export.h)
  # leaves libkvlcommon.so.
  set_target_properties(kvl_${name} PROPERTIES CXX_VISIBILITY_PRESET hidden
                                               VISIBILITY_INLINES_HIDDEN ON)
  target_include_directories(kvl_${name} PUBLIC ${PROJECT_SOURCE_DIR})
  foreach(dep IN LISTS ARG_DEPS)
    target_link_libraries(kvl_${name} PUBLIC kvl_${dep})
  endforeach()
  if(ARG_EXTRA_LIBS)
    target_link_libraries(kvl_${name} PUBLIC ${ARG_EXTRA_LIBS})
  endif()
  set(KVL_SUBSYSTEMS ${KVL_SUBSYSTEMS} ${name} CACHE INTERNAL "")
  set(KVL_DEPS_${name} ${ARG_DEPS} CACHE INTERNAL "")
  set(KVL_EXTRA_LIBS_${name} ${ARG_EXTRA_LIBS} CACHE INTERNAL "")
  set(KVL_TESTS_${name} ${tests} CACHE INTERNAL "")
endfunction()

# Links every subsystem into libkvlcommon.so and adds the test programs.
function(kvl_shared_library)
  set(objects "")
  set(extra "")
  foreach(name IN LISTS KVL_SUBSYSTEMS)
    list(APPEND objects $<TARGET_OBJECTS:kvl_${name}>)
    list(APPEND extra ${KVL_EXTRA_LIBS_${name}})
  endforeach()
  add_library(kvlcommon SHARED ${objects})
  # The include directory and the libraries the subsystems use are the
  # build tree's; an installed copy carries only its own include directory
  # (see kvl_install.cmake).
  target_include_directories(kvlcommon PUBLIC
                             $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>)
  target_link_libraries(kvlcommon PUBLIC "$<BUILD_INTERFACE:${extra}>"
                                         ${CMAKE_DL_LIBS})
  target_compile_features(kvlcommon PUBLIC cxx_std_20)
  set_target_properties(kvlcommon PROPERTIES VERSION ${PROJECT_VERSION}
                                             SOVERSION 1)
  foreach(name IN LISTS KVL_SUBSYSTEMS)
    if(KVL_TESTS_${name})
      add_executable(kvl_${name}_test ${KVL_TESTS_${name}})
      target_link_libraries(kvl_${name}_test PRIVATE kvlcommon GTest::gmock
                                                     GTest::gtest_main)
      gtest_discover_tests(kvl_${name}_test DISCOVERY_TIMEOUT 60
                           PROPERTIES LABELS ${name})
    endif()
  endforeach()
endfunction()

# A test that fails when a subsystem includes a header of a subsystem it
# does not declare (directly or through its dependencies).
function(kvl_layering_test)
  set(rules "")
  foreach(name IN LISTS KVL_SUBSYSTEMS)
    set(allowed ${name})
    set(queue ${KVL_DEPS_${name}})
    while(queue)
      list(POP_FRONT queue dep)
      if(NOT dep IN_LIST allowed)
        list(APPEND allowed ${dep})
        list(APPEND queue ${KVL_DEPS_${dep}})
      endif()
    endwhile()
    string(REPLACE ";" "," allowed_csv "${allowed}")
    string(APPEND rules "${name}=${allowed_csv}\n")
  endforeach()
  file(WRITE ${PROJECT_BINARY_DIR}/layering_rules.txt "${rules}")
  add_test(NAME layering
           COMMAND ${CMAKE_COMMAND} -DROOT=${PROJECT_SOURCE_DIR}
                   -DRULES=${PROJECT_BINARY_DIR}/layering_rules.txt
                   -P ${PROJECT_SOURCE_DIR}/cmake/check_layering.cmake)
endfunction()
