# Signing in the shipped trees (build/, build/x64, build/arm64): everything shipped carries one identity,
# the certificate of QUILLO_SIGN_PFX or, without it, a test certificate made once in
# QUILLO_SIGN_DIR. Every shipped preset names build/signing, so that all share one test identity.
set(QUILLO_SIGN_DIR ${CMAKE_BINARY_DIR}/signing CACHE PATH
    "Where the signing certificate (signer.pem) and a test certificate are kept")
set(QUILLO_SIGN sh ${CMAKE_SOURCE_DIR}/scripts/sign.sh ${QUILLO_SIGN_DIR})
set(QUILLO_SIGN_CERTIFICATE sh ${CMAKE_SOURCE_DIR}/scripts/sign.sh --certificate ${QUILLO_SIGN_DIR})
add_custom_command(TARGET Quillo POST_BUILD COMMAND ${QUILLO_SIGN} $<TARGET_FILE:Quillo> VERBATIM)

# The programs of other files (QuilloNote.exe) may be defined after this one: their signing
# and the checks that name them wait for the end of the tree's configuration.
function(quillo_signing_deferred)
  set(files $<TARGET_FILE:Quillo>)
  if(TARGET QuilloNote)
    add_custom_command(TARGET QuilloNote POST_BUILD
                       COMMAND ${QUILLO_SIGN} $<TARGET_FILE:QuilloNote> VERBATIM)
    list(APPEND files $<TARGET_FILE:QuilloNote>)
  endif()
  if(TARGET quillo_msix)
    list(APPEND files ${QUILLO_MSIX})
  endif()
  if(TARGET QuilloSetup)
    list(APPEND files ${CMAKE_BINARY_DIR}/QuilloSetup.exe)
  endif()
  # Every signed file verifies with the signing certificate as the one trusted.
  add_test(NAME signatures
           COMMAND sh ${CMAKE_SOURCE_DIR}/tests/check-signed.sh ${QUILLO_SIGN_DIR}/signer.pem ${files})
endfunction()
cmake_language(DEFER CALL quillo_signing_deferred)
