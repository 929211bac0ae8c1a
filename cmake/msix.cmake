# The package that puts the command on Windows 11's first level, one per 64-bit architecture
# under one identity: Quillo.msix (x64, made in build/x64) and Quillo-arm64.msix (made in
# build/arm64). Signed here; the setup program of the x64 tree carries both.
find_program(QUILLO_PYTHON python3 REQUIRED)
set(QUILLO_SIGNER ${QUILLO_SIGN_DIR}/signer.pem)
set(QUILLO_MSIX_TOOL ${QUILLO_PYTHON} ${CMAKE_SOURCE_DIR}/scripts/msix.py)
set(QUILLO_PRODUCT_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.0.0)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL ARM64)
  set(QUILLO_MSIX_ARCH arm64)
  set(QUILLO_MSIX ${CMAKE_BINARY_DIR}/Quillo-arm64.msix)
else()
  set(QUILLO_MSIX_ARCH x64)
  set(QUILLO_MSIX ${CMAKE_BINARY_DIR}/Quillo.msix)
endif()

# The certificate first: the package's publisher and family name are its subject's.
# It is taken at every build (and rewritten only when it changed), so that a release
# certificate given to a tree that was test-signed before makes the package again.
add_custom_target(quillo_signer COMMAND ${QUILLO_SIGN_CERTIFICATE} BYPRODUCTS ${QUILLO_SIGNER}
                  COMMENT "Taking the signing certificate" VERBATIM)
add_custom_command(
  OUTPUT ${QUILLO_MSIX}
  COMMAND ${QUILLO_MSIX_TOOL} pack ${CMAKE_SOURCE_DIR}/setup/AppxManifest.xml ${QUILLO_SIGNER}
          ${QUILLO_PRODUCT_VERSION} ${QUILLO_MSIX} ${QUILLO_MSIX_ARCH}
  COMMAND ${QUILLO_SIGN} ${QUILLO_MSIX}
  DEPENDS quillo_signer ${QUILLO_SIGNER} ${CMAKE_SOURCE_DIR}/setup/AppxManifest.xml
          ${CMAKE_SOURCE_DIR}/scripts/msix.py ${CMAKE_SOURCE_DIR}/scripts/sign.sh
  COMMENT "Making and signing ${QUILLO_MSIX}"
  VERBATIM)
add_custom_target(quillo_msix ALL DEPENDS ${QUILLO_MSIX})

# The package holds what Windows needs of it, names the signer as its publisher, and its
# block map matches its files.
add_test(NAME msix_package
         COMMAND ${QUILLO_MSIX_TOOL} check ${QUILLO_MSIX} ${QUILLO_SIGNER} ${QUILLO_PRODUCT_VERSION}
                 ${QUILLO_MSIX_ARCH})
