# Benchmarks (not tests): QuilloFloor.dll, the least a background menu handler can be, and
# QuilloBench.exe, which measures Quillo.dll against it. Run them with bench/run.sh.
add_library(QuilloFloor SHARED ${CMAKE_SOURCE_DIR}/bench/uFloorHandler.cpp
            ${CMAKE_SOURCE_DIR}/bench/uPlainWindow.cpp ${CMAKE_SOURCE_DIR}/QuilloRuntime.cpp
            ${CMAKE_SOURCE_DIR}/bench/QuilloFloor.def)
set_target_properties(QuilloFloor PROPERTIES PREFIX "" OUTPUT_NAME QuilloFloor)
target_link_libraries(QuilloFloor PRIVATE quillo_flags ole32 uuid shell32 user32 gdi32)
# Linked as Quillo.dll is (unreferenced runtime pieces dropped), so that a first load weighs
# like for like.
target_link_options(QuilloFloor PRIVATE $<$<CONFIG:Release>:-s -Wl,--gc-sections>)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  target_link_options(QuilloFloor PRIVATE -Wl,--enable-stdcall-fixup)
endif()
add_executable(QuilloBench ${CMAKE_SOURCE_DIR}/bench/QuilloBench.cpp ${CMAKE_SOURCE_DIR}/bench/uBench.cpp
               ${CMAKE_SOURCE_DIR}/bench/uBenchStability.cpp ${CMAKE_SOURCE_DIR}/bench/uPlainWindow.cpp
               ${CMAKE_SOURCE_DIR}/bench/uBenchWindows11.cpp)
target_link_libraries(QuilloBench PRIVATE quillo_shellclient quillo_rules quillo_flags ole32 uuid shell32
                      user32 gdi32 psapi)
target_link_options(QuilloBench PRIVATE -mconsole)
add_dependencies(QuilloBench Quillo QuilloFloor)
if(TARGET test_e2e)
  add_dependencies(test_e2e QuilloFloor)  # the second handler of the end-to-end test
endif()
# What a draft costs the note window's thread, measured on the window itself (see its head).
add_executable(QuilloDraftBench ${CMAKE_SOURCE_DIR}/bench/QuilloDraftBench.cpp)
target_link_libraries(QuilloDraftBench PRIVATE quillo_core)
target_link_options(QuilloDraftBench PRIVATE -mconsole)
