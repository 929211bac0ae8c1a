# QuilloSetup.exe, made by NSIS from setup/QuilloSetup.nsi with this tree's 64-bit DLL and the
# 32-bit one of the windows preset (QUILLO_X86_DLL, built and signed before this tree), and
# Quillo.msix, the package that puts the command on Windows 11's first-level menu. Each is signed
# before it goes into the setup program, which is signed last (cmake/signing.cmake).
find_program(QUILLO_MAKENSIS makensis REQUIRED)
find_program(QUILLO_PYTHON python3 REQUIRED)
set(QUILLO_SETUP ${CMAKE_BINARY_DIR}/QuilloSetup.exe)
set(QUILLO_MSIX ${CMAKE_BINARY_DIR}/Quillo.msix)
set(QUILLO_SIGNER ${QUILLO_SIGN_DIR}/signer.pem)
set(QUILLO_MSIX_TOOL ${QUILLO_PYTHON} ${CMAKE_SOURCE_DIR}/scripts/msix.py)
set(QUILLO_PRODUCT_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.0.0)

# The certificate first: the package's publisher and family name are its subject's.
# It is taken at every build (and rewritten only when it changed), so that a release
# certificate given to a tree that was test-signed before makes the package again.
add_custom_target(quillo_signer COMMAND ${QUILLO_SIGN_CERTIFICATE} BYPRODUCTS ${QUILLO_SIGNER}
                  COMMENT "Taking the signing certificate" VERBATIM)
set(QUILLO_PACKAGE_NSH ${CMAKE_BINARY_DIR}/generated/QuilloPackage.nsh)
add_custom_command(
  OUTPUT ${QUILLO_MSIX} ${CMAKE_BINARY_DIR}/Quillo.png ${QUILLO_PACKAGE_NSH}
  COMMAND ${QUILLO_MSIX_TOOL} pack ${CMAKE_SOURCE_DIR}/setup/AppxManifest.xml ${QUILLO_SIGNER}
          ${QUILLO_PRODUCT_VERSION} ${QUILLO_MSIX}
  COMMAND ${QUILLO_MSIX_TOOL} nsis ${QUILLO_SIGNER} ${QUILLO_PACKAGE_NSH}
  COMMAND ${QUILLO_MSIX_TOOL} logo ${CMAKE_BINARY_DIR}/Quillo.png
  COMMAND ${QUILLO_SIGN} ${QUILLO_MSIX}
  DEPENDS quillo_signer ${QUILLO_SIGNER} ${CMAKE_SOURCE_DIR}/setup/AppxManifest.xml
          ${CMAKE_SOURCE_DIR}/scripts/msix.py ${CMAKE_SOURCE_DIR}/scripts/sign.sh
  COMMENT "Making and signing Quillo.msix"
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
            ${CMAKE_SOURCE_DIR}/setup/QuilloSetup.nsi
    COMMAND ${QUILLO_SIGN} ${QUILLO_SETUP}
    DEPENDS Quillo ${note_depends} ${QUILLO_X86_DLL} ${QUILLO_MSIX} ${QUILLO_PACKAGE_NSH}
            ${CMAKE_SOURCE_DIR}/setup/QuilloSetup.nsi ${CMAKE_SOURCE_DIR}/scripts/sign.sh
    COMMENT "Making and signing the setup program QuilloSetup.exe"
    VERBATIM)
endfunction()
cmake_language(DEFER CALL quillo_setup_deferred)
add_custom_target(QuilloSetup ALL DEPENDS ${QUILLO_SETUP})

# The package holds what Windows needs of it, names the signer as its publisher, and its
# block map matches its files.
add_test(NAME msix_package
         COMMAND ${QUILLO_MSIX_TOOL} check ${QUILLO_MSIX} ${QUILLO_SIGNER} ${QUILLO_PRODUCT_VERSION})
