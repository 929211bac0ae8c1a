; QuilloSetup.exe: installs Quillo for every user of a 64-bit Windows into Program Files\Quillo.
; The 64-bit Quillo.dll serves 64-bit Explorer and programs; the 32-bit one, in x86\, serves the
; file dialogs of 32-bit programs. Each DLL registers itself (DllRegisterServer through the
; regsvr32 of its own bitness, so each writes to its own registry view): this script writes no
; class keys of its own, only its uninstall entry.
;
; Made by cmake/setup.cmake: makensis -DVERSION=1.1.0.0 -DX64_DLL=... -DX86_DLL=... -DOUTFILE=...
; Exit codes: 0 installed; 2 aborted (the 64-bit DLL could not be registered); 3 installed, but
; the 32-bit DLL could not be registered (32-bit programs do not show the item).

Unicode true
Target amd64-unicode
!ifndef VERSION
  !error "define VERSION, X64_DLL, X86_DLL and OUTFILE"
!endif
!ifndef X64_DLL
  !error "define X64_DLL"
!endif
!ifndef X86_DLL
  !error "define X86_DLL"
!endif
!ifndef OUTFILE
  !error "define OUTFILE"
!endif

!include "LogicLib.nsh"
!include "FileFunc.nsh"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillo"
!define PUBLISHER "the Quillo developers"
!define REGSVR64 "$SYSDIR\regsvr32.exe"          ; this installer is 64-bit: no redirection
!define REGSVR32 "$WINDIR\SysWOW64\regsvr32.exe"
!define SHCNE_ASSOCCHANGED 0x08000000

Name "Quillo"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Quillo"
; An earlier install is upgraded where it is.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
ShowInstDetails show
ShowUninstDetails show
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey "ProductName" "Quillo"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "Quillo setup"
VIAddVersionKey "LegalCopyright" "Copyright (C) 2026 the Quillo developers. All rights reserved."

; Tells Explorer that handlers changed, so that open folder windows pick up the change.
!macro NotifyShell
  System::Call 'shell32::SHChangeNotify(i ${SHCNE_ASSOCCHANGED}, i 0, p 0, p 0)'
!macroend

; Puts SOURCE as Quillo.dll into the output folder. An earlier Quillo.dll may still be loaded by
; Explorer: a loaded DLL cannot be overwritten but can be renamed, so it is moved aside under a
; fresh temporary name (an earlier one may still be loaded too) and removed at the next restart.
!macro PutDll SOURCE
  Delete "$OUTDIR\Quillo.dll"
  ${If} ${FileExists} "$OUTDIR\Quillo.dll"
    GetTempFileName $1 "$OUTDIR"
    Delete $1
    Rename "$OUTDIR\Quillo.dll" $1
    Delete /REBOOTOK $1
  ${EndIf}
  File "/oname=Quillo.dll" "${SOURCE}"
!macroend

; Runs REGSVR silently on DLL with ARGS; $0 is left 0 when it succeeded.
!macro RunRegsvr REGSVR ARGS DLL
  StrCpy $0 1
  ClearErrors
  ExecWait '"${REGSVR}" /s ${ARGS} "${DLL}"' $0
  ${If} ${Errors}
    StrCpy $0 1
  ${EndIf}
!macroend

Function .onInit
  SetShellVarContext all
  SetRegView 64
FunctionEnd

Section "Quillo"
  SetOutPath "$INSTDIR"
  !insertmacro PutDll "${X64_DLL}"
  SetOutPath "$INSTDIR\x86"
  !insertmacro PutDll "${X86_DLL}"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  ; The entry comes first, so that whatever happens below can be undone from Installed apps.
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Quillo"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Uninstall.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  ${GetSize} "$INSTDIR" "/S=0K" $1 $2 $3
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1

  !insertmacro RunRegsvr "${REGSVR64}" "" "$INSTDIR\Quillo.dll"
  ${If} $0 <> 0
    MessageBox MB_ICONSTOP "Quillo.dll (64-bit) could not be registered (regsvr32: $0)." /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}
  DetailPrint "Registered the 64-bit Quillo.dll"
  !insertmacro RunRegsvr "${REGSVR32}" "" "$INSTDIR\x86\Quillo.dll"
  ${If} $0 <> 0
    DetailPrint "The 32-bit Quillo.dll could not be registered (regsvr32: $0)"
    MessageBox MB_ICONEXCLAMATION "The 32-bit Quillo.dll could not be registered (regsvr32: $0): 32-bit programs will not show the item." /SD IDOK
    SetErrorLevel 3
  ${Else}
    DetailPrint "Registered the 32-bit Quillo.dll"
  ${EndIf}
  !insertmacro NotifyShell
SectionEnd

Function un.onInit
  SetShellVarContext all
  SetRegView 64
FunctionEnd

Section "Uninstall"
  ; Each DLL removes its own keys from its own view. A 32-bit part that was never registered
  ; has nothing to remove, so its result does not matter.
  !insertmacro RunRegsvr "${REGSVR64}" "/u" "$INSTDIR\Quillo.dll"
  !insertmacro RunRegsvr "${REGSVR32}" "/u" "$INSTDIR\x86\Quillo.dll"
  ; A DLL still loaded by Explorer is removed at the next restart.
  Delete /REBOOTOK "$INSTDIR\Quillo.dll"
  Delete /REBOOTOK "$INSTDIR\x86\Quillo.dll"
  ; Earlier DLLs moved aside by an upgrade, if the restart has not removed them yet.
  Delete /REBOOTOK "$INSTDIR\ns*.tmp"
  Delete /REBOOTOK "$INSTDIR\x86\ns*.tmp"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir /REBOOTOK "$INSTDIR\x86"
  RMDir /REBOOTOK "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  !insertmacro NotifyShell
SectionEnd
