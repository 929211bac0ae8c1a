# The Wine tests run side by side (ctest -j) in lanes: a lane is a Wine prefix, and the tests of
# one lane run one at a time, because a prefix is one Windows session: one registry (the
# classes a test registers), one drafts folder, one note process with its session mutex and
# message window, one desktop whose windows FindWindow and EnumWindows see. Each lane but the
# tree's own prefix has an X display of its own (keyboard focus, the foreground window and the
# clipboard belong to a display). tests/windows/wine-lanes.sh sets the lanes up before the
# first test and ends them after the last, with one wineserver per prefix for the whole run.
#
# The rule covers every test of the tree, so a new one cannot escape it: its lane follows from
# its environment, the tree's prefix unless it names another:
#   QUILLO_DPI=N        the copy of the prefix at that DPI,
#   QUILLO_LANE=NAME    a copy of the prefix of its own (both together: the copy at that DPI),
#   QUILLO_PREFIX=PATH  a prefix of its own (tests/windows/fresh-prefix-run.sh makes it afresh).
# A program that reads a host path shared by every lane (QUILLO_FULL_DRIVE) holds that too.
set(QUILLO_WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)

function(quillo_wine_lanes)
  get_property(tests DIRECTORY ${CMAKE_SOURCE_DIR} PROPERTY TESTS)
  set(lane_list "")
  set(locks "")
  foreach(test ${tests})
    get_test_property(${test} ENVIRONMENT env)
    if(NOT env)
      set(env "")
    endif()
    set(dpi "")
    set(lane "")
    set(own "")
    foreach(entry ${env})
      if(entry MATCHES "^QUILLO_DPI=(.+)$")
        set(dpi ${CMAKE_MATCH_1})
      elseif(entry MATCHES "^QUILLO_LANE=(.+)$")
        set(lane ${CMAKE_MATCH_1})
      elseif(entry MATCHES "^QUILLO_PREFIX=(.+)$")
        set(own ${CMAKE_MATCH_1})
      endif()
    endforeach()
    if(own)
      set(prefix ${own})
      if(NOT "QUILLO_NO_DISPLAY=1" IN_LIST env)
        list(APPEND lane_list display:${own})
      endif()
    else()
      set(prefix ${QUILLO_WINE_PREFIX})
      if(dpi)
        string(APPEND prefix -dpi${dpi})
      endif()
      if(lane)
        string(APPEND prefix -${lane})
      endif()
      if(dpi OR lane)
        list(APPEND lane_list copy:${dpi}:${lane})
      endif()
    endif()
    set(test_locks ${prefix})
    # The program's sources name what it shares with every lane.
    string(REGEX REPLACE "\\..*$" "" program ${test})
    if(TARGET ${program})
      get_target_property(sources ${program} SOURCES)
      foreach(src ${sources})
        if(NOT IS_ABSOLUTE ${src})
          set(src ${CMAKE_SOURCE_DIR}/${src})
        endif()
        if(EXISTS ${src})
          file(STRINGS ${src} full_drive REGEX "QUILLO_FULL_DRIVE")
          if(full_drive)
            list(APPEND test_locks quillo-full-drive)
          endif()
        endif()
      endforeach()
    endif()
    set_property(TEST ${test} APPEND PROPERTY RESOURCE_LOCK ${test_locks})
    set_property(TEST ${test} APPEND PROPERTY FIXTURES_REQUIRED quillo_wine_lanes)
    list(APPEND locks ${test_locks})
  endforeach()
  list(REMOVE_DUPLICATES lane_list)
  list(REMOVE_DUPLICATES locks)
  add_test(NAME wine_lanes_up
           COMMAND sh ${CMAKE_SOURCE_DIR}/tests/windows/wine-lanes.sh up ${QUILLO_WINE}
                   ${QUILLO_WINE_PREFIX} ${lane_list})
  add_test(NAME wine_lanes_down
           COMMAND sh ${CMAKE_SOURCE_DIR}/tests/windows/wine-lanes.sh down ${QUILLO_WINE_PREFIX} ${lane_list})
  # Making the prefixes from nothing takes minutes on a busy machine.
  set_tests_properties(wine_lanes_up PROPERTIES FIXTURES_SETUP quillo_wine_lanes TIMEOUT 1200
                       RESOURCE_LOCK "${locks}")
  set_tests_properties(wine_lanes_down PROPERTIES FIXTURES_CLEANUP quillo_wine_lanes
                       RESOURCE_LOCK "${locks}")
endfunction()
cmake_language(DEFER CALL quillo_wine_lanes)
