; Which Quillo a machine gets, by its native architecture (the setup program is x64; on ARM64
; Windows it runs emulated, where ${RunningX64} is true too):
;   x64    the x64 Quillo.dll, QuilloNote.exe and Quillo.msix; the x86 DLL for 32-bit programs
;   arm64  the ARM64 Quillo.dll, QuilloNote.exe and Quillo-arm64.msix (as Quillo.msix): native
;          Explorer and the package's COM surrogate load only ARM64 code; the x86 DLL as above
;   else   nothing: a message and exit code 2
; The files keep the same names in the install folder whatever the architecture, so that the
; uninstaller and an upgrade undo either kind the same way. Each DLL is registered by the
; regsvr32 of its own kind: $SYSDIR's is the native one (ARM64 on ARM64: an x64 process there is
; not redirected), SysWOW64's the x86 one, writing to the 32-bit view.
; x64 programs emulated on ARM64 (their file dialogs) would need an ARM64X DLL: not built.

!include "x64.nsh"

!insertmacro Text UnsupportedArchitecture \
  "Quillo는 x64 또는 ARM64 Windows에만 설치할 수 있습니다. 이 컴퓨터의 프로세서($0)용 Quillo는 없습니다." \
  "Quillo installs only on x64 or ARM64 Windows: there is no Quillo for this computer's processor ($0)."

; "x64", "arm64" or what else the machine is, from the one place a test can override: the hidden
; switch /QUILLOARCH=NAME (Wine cannot fake the native machine that IsWow64Process2 reports).
Var NativeArch
Function ChooseArchitecture
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/QUILLOARCH=" $NativeArch
  ${IfNot} ${Errors}
    Return
  ${EndIf}
  ${If} ${IsNativeARM64}
    StrCpy $NativeArch "arm64"
  ${ElseIf} ${IsNativeAMD64}
    StrCpy $NativeArch "x64"
  ${Else}
    ${GetNativeMachineArchitecture} $NativeArch
  ${EndIf}
FunctionEnd

; In .onInit, after the language is chosen: a machine without a Quillo of its own stops here.
!macro RefuseUnsupportedArchitecture
  Call ChooseArchitecture
  ${If} $NativeArch != "x64"
  ${AndIf} $NativeArch != "arm64"
    StrCpy $0 $NativeArch
    MessageBox MB_ICONSTOP "$(UnsupportedArchitecture)" /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
!macroend

; The 64-bit DLL of the machine's kind as Quillo.dll into the output folder.
!macro PutNativeDll
  ${If} $NativeArch == "arm64"
    !insertmacro PutDll "${ARM64_DLL}"
  ${Else}
    !insertmacro PutDll "${X64_DLL}"
  ${EndIf}
!macroend

; The package and the note process of the machine's kind, as Quillo.msix and QuilloNote.exe.
!macro PutNativePackage
  ${If} $NativeArch == "arm64"
    File "/oname=Quillo.msix" "${ARM64_MSIX}"
    ; A note process may still run from the earlier install.
    !insertmacro PutFile "${ARM64_NOTE_EXE}" "QuilloNote.exe"
  ${Else}
    File "/oname=Quillo.msix" "${MSIX}"
  !ifdef NOTE_EXE
    !insertmacro PutFile "${NOTE_EXE}" "QuilloNote.exe"
  !endif
  ${EndIf}
!macroend
