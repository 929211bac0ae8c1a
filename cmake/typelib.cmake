# Quillo.tlb, compiled from resources/Quillo.idl by widl and linked into Quillo.dll as
# TYPELIB 1. The library describes 32-bit Windows whichever way the DLL is built.
set(QUILLO_TLB ${CMAKE_BINARY_DIR}/generated/Quillo.tlb)
add_custom_command(
  OUTPUT ${QUILLO_TLB}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/generated
  COMMAND ${QUILLO_WIDL} --win32 -t -o ${QUILLO_TLB} ${CMAKE_SOURCE_DIR}/resources/Quillo.idl
  DEPENDS ${CMAKE_SOURCE_DIR}/resources/Quillo.idl
  COMMENT "Compiling the type library Quillo.tlb"
  VERBATIM)
add_custom_target(quillo_typelib DEPENDS ${QUILLO_TLB})
# The resource script embeds the .tlb: recompile it whenever the library changes.
set_source_files_properties(${CMAKE_SOURCE_DIR}/resources/Quillo.rc
  PROPERTIES OBJECT_DEPENDS ${QUILLO_TLB})
