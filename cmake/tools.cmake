# The file manager stand-in that drives Quillo.dll through the shell-extension contract.
file(GLOB QUILLO_HOST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/*.cpp)
add_executable(QuilloHost ${QUILLO_HOST_SOURCES})
target_link_libraries(QuilloHost PRIVATE quillo_shellclient quillo_flags ole32 oleaut32 uuid shell32
                      user32 gdi32 advapi32)
target_link_options(QuilloHost PRIVATE -mconsole $<$<CONFIG:Release>:-s>)
# A shipped tree builds it only when asked (scripts/quillo.sh), beside the DLL it then loads.
if(QUILLO_SHIP)
  set_target_properties(QuilloHost PROPERTIES EXCLUDE_FROM_ALL ON)
endif()
if(TARGET test_e2e)
  add_dependencies(test_e2e QuilloHost Quillo)
endif()
if(TARGET QuilloNote)
  add_dependencies(QuilloHost QuilloNote)
endif()
if(TARGET test_explorer_command)
  add_dependencies(test_explorer_command QuilloHost)
endif()
