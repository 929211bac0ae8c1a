# QuilloSetup.exe, made by NSIS from setup/QuilloSetup.nsi with this tree's 64-bit DLL and the
# 32-bit one of the windows preset (QUILLO_X86_DLL, built before this tree).
find_program(QUILLO_MAKENSIS makensis REQUIRED)
set(QUILLO_SETUP ${CMAKE_BINARY_DIR}/QuilloSetup.exe)
add_custom_command(
  OUTPUT ${QUILLO_SETUP}
  COMMAND ${QUILLO_MAKENSIS} -V2 -NOCD
          "-DVERSION=${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.0.0"
          "-DX64_DLL=$<TARGET_FILE:Quillo>" "-DX86_DLL=${QUILLO_X86_DLL}" "-DOUTFILE=${QUILLO_SETUP}"
          ${CMAKE_SOURCE_DIR}/setup/QuilloSetup.nsi
  DEPENDS Quillo ${QUILLO_X86_DLL} ${CMAKE_SOURCE_DIR}/setup/QuilloSetup.nsi
  COMMENT "Making the setup program QuilloSetup.exe"
  VERBATIM)
add_custom_target(QuilloSetup ALL DEPENDS ${QUILLO_SETUP})
