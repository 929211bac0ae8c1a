# smoke_dll: the built Quillo.dll driven from one plain program (no GoogleTest, so that it
# starts fast where 32-bit code is only emulated). scripts/smoke32.sh runs it from the shipped
# 32-bit tree; the test trees run it as one of their tests.
add_executable(smoke_dll
    ${CMAKE_SOURCE_DIR}/tests/windows/smoke_dll.cpp
    ${CMAKE_SOURCE_DIR}/tests/windows/support/uTestSupport.cpp
    ${CMAKE_SOURCE_DIR}/tests/windows/support/uComTestSupport.cpp
    ${CMAKE_SOURCE_DIR}/tests/windows/support/uWindowTestSupport.cpp)
target_include_directories(smoke_dll PRIVATE ${CMAKE_SOURCE_DIR}/tests/windows)
target_link_libraries(smoke_dll PRIVATE quillo_shellclient quillo_flags ole32 oleaut32 uuid shell32 user32
                      advapi32)
target_link_options(smoke_dll PRIVATE -mconsole)
add_dependencies(smoke_dll Quillo)
if(QUILLO_TESTS)
  add_test(NAME smoke_dll COMMAND smoke_dll WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
  set_tests_properties(smoke_dll PROPERTIES TIMEOUT 900)
endif()
