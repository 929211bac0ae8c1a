# QuilloSetup.exe, made by NSIS from setup/QuilloSetup.nsi with this tree's 64-bit DLL and the
# 32-bit one of the windows preset (QUILLO_X86_DLL, built and signed before this tree), the ARM64
# DLL, note process and package of the arm64 preset (QUILLO_ARM64_DIR, built before this tree
# too), and Quillo.msix (cmake/msix.cmake). Each is signed before it goes into the setup
# program, which is signed last (cmake/signing.cmake).
find_program(QUILLO_MAKENSIS makensis REQUIRED)
set(QUILLO_SETUP ${CMAKE_BINARY_DIR}/QuilloSetup.exe)
include(cmake/msix.cmake)
set(QUILLO_ARM64_DIR "" CACHE PATH "The arm64 preset's tree, whose binaries the setup program carries")
if(NOT QUILLO_ARM64_DIR)
  message(FATAL_ERROR "QuilloSetup.exe carries the ARM64 binaries: set QUILLO_ARM64_DIR")
endif()
set(QUILLO_ARM64_FILES ${QUILLO_ARM64_DIR}/Quillo.dll ${QUILLO_ARM64_DIR}/QuilloNote.exe
    ${QUILLO_ARM64_DIR}/Quillo-arm64.msix)

set(QUILLO_PACKAGE_NSH ${CMAKE_BINARY_DIR}/generated/QuilloPackage.nsh)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/Quillo.png ${QUILLO_PACKAGE_NSH}
  COMMAND ${QUILLO_MSIX_TOOL} nsis ${QUILLO_SIGNER} ${QUILLO_PACKAGE_NSH}
  COMMAND ${QUILLO_MSIX_TOOL} logo ${CMAKE_BINARY_DIR}/Quillo.png
  DEPENDS quillo_signer ${QUILLO_SIGNER} ${CMAKE_SOURCE_DIR}/scripts/msix.py
  COMMENT "Taking the package's names and logo for the setup program"
  VERBATIM)

function(quillo_setup_deferred)
  set(note_args "")
  set(note_depends "")
  if(TARGET QuilloNote)
    set(note_args "-DNOTE_EXE=$<TARGET_FILE:QuilloNote>")
    set(note_depends QuilloNote)
  endif()
  add_custom_command(
    OUTPUT ${QUILLO_SETUP}
    COMMAND ${QUILLO_MAKENSIS} -V2 -NOCD "-DVERSION=${QUILLO_PRODUCT_VERSION}"
            "-DX64_DLL=$<TARGET_FILE:Quillo>" "-DX86_DLL=${QUILLO_X86_DLL}" "-DOUTFILE=${QUILLO_SETUP}"
            "-DMSIX=${QUILLO_MSIX}" "-DLOGO=${CMAKE_BINARY_DIR}/Quillo.png"
            "-DPACKAGE_NSH=${QUILLO_PACKAGE_NSH}" ${note_args}
            "-DARM64_DLL=${QUILLO_ARM64_DIR}/Quillo.dll"
            "-DARM64_NOTE_EXE=${QUILLO_ARM64_DIR}/QuilloNote.exe"
            "-DARM64_MSIX=${QUILLO_ARM64_DIR}/Quillo-arm64.msix"
            ${CMAKE_SOURCE_DIR}/setup/QuilloSetup.nsi
    COMMAND ${QUILLO_SIGN} ${QUILLO_SETUP}
    DEPENDS Quillo ${note_depends} ${QUILLO_X86_DLL} ${QUILLO_ARM64_FILES} ${QUILLO_MSIX}
            ${QUILLO_PACKAGE_NSH} ${CMAKE_SOURCE_DIR}/setup/QuilloSetup.nsi
            ${CMAKE_SOURCE_DIR}/setup/Architecture.nsh
            ${CMAKE_SOURCE_DIR}/scripts/sign.sh
    COMMENT "Making and signing the setup program QuilloSetup.exe"
    VERBATIM)
endfunction()
cmake_language(DEFER CALL quillo_setup_deferred)
add_custom_target(QuilloSetup ALL DEPENDS ${QUILLO_SETUP})
