# Quillo.tlb, compiled from resources/Quillo.idl by widl and linked into Quillo.dll as
# TYPELIB 1, describing the Windows the DLL is built for (SYS_WIN32 or SYS_WIN64).
set(QUILLO_TLB ${CMAKE_BINARY_DIR}/generated/Quillo.tlb)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(QUILLO_TLB_KIND --win64)
else()
  set(QUILLO_TLB_KIND --win32)
endif()
add_custom_command(
  OUTPUT ${QUILLO_TLB}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/generated
  COMMAND ${QUILLO_WIDL} ${QUILLO_TLB_KIND} -t -o ${QUILLO_TLB} ${CMAKE_SOURCE_DIR}/resources/Quillo.idl
  DEPENDS ${CMAKE_SOURCE_DIR}/resources/Quillo.idl
  COMMENT "Compiling the type library Quillo.tlb"
  VERBATIM)
add_custom_target(quillo_typelib DEPENDS ${QUILLO_TLB})
# The resource script embeds the .tlb: recompile it whenever the library changes.
set_source_files_properties(${CMAKE_SOURCE_DIR}/resources/Quillo.rc
  PROPERTIES OBJECT_DEPENDS ${QUILLO_TLB})
