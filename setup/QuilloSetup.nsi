; QuilloSetup.exe: installs Quillo on a 64-bit Windows, for every user (Program Files\Quillo) or
; for the current user only (%LOCALAPPDATA%\Programs\Quillo, no administrator rights needed). An
; administrator chooses, all users being the default; anyone else gets the per-user install.
; The 64-bit Quillo.dll serves 64-bit Explorer and programs; the 32-bit one, in x86\, serves the
; file dialogs of 32-bit programs. Each DLL registers itself through the regsvr32 of its own
; bitness, so each writes to its own registry view: for every user its DllRegisterServer, for
; one user its DllInstall ("/n /i:user", the user's own classes). This script writes no class
; keys of its own, only its uninstall entry (HKLM or HKCU) and, for its uninstaller, the mode.
;
; Made by cmake/setup.cmake: makensis -DVERSION=1.1.0.0 -DX64_DLL=... -DX86_DLL=... -DOUTFILE=...
; Silent: /S installs for all users when an administrator runs it, else for the current user;
; /S /AllUsers or /S /CurrentUser choose.
; Exit codes: 0 installed; 2 aborted (the 64-bit DLL could not be registered, or all users were
; asked for without administrator rights); 3 installed, but the 32-bit DLL could not be
; registered (32-bit programs do not show the item).

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

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillo"
!define PUBLISHER "the Quillo developers"
!define REGSVR64 "$SYSDIR\regsvr32.exe"          ; this installer is 64-bit: no redirection
!define REGSVR32 "$WINDIR\SysWOW64\regsvr32.exe"
!define SHCNE_ASSOCCHANGED 0x08000000
; Beside the uninstaller: the mode it was installed in, which the uninstaller undoes.
!define MODE_FILE "Uninstall.ini"

!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_INSTALLMODE_INSTDIR "Quillo"
!define MULTIUSER_USE_PROGRAMFILES64
; An earlier install in the same mode is upgraded where it is.
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME "InstallLocation"
!define MULTIUSER_INSTALLMODE_FUNCTION OnInstallMode
!define MULTIUSER_INSTALLMODE_UNFUNCTION un.OnInstallMode
!define MULTIUSER_INIT_TEXT_ALLUSERSNOTPOSSIBLE "$(AllUsersNeedAdmin)"
!define MULTIUSER_INSTALLMODEPAGE_SHOWUSERNAME
!include "MultiUser.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"

Name "Quillo"
OutFile "${OUTFILE}"
SetCompressor /SOLID lzma
ShowInstDetails show
ShowUninstDetails show

!define MUI_ABORTWARNING
!define MUI_WELCOMEPAGE_TITLE "$(WelcomeTitle)"
!define MUI_WELCOMEPAGE_TEXT "$(WelcomeText)"
!insertmacro MUI_PAGE_WELCOME
!define MUI_PAGE_HEADER_TEXT "$(ModeTitle)"
!define MUI_PAGE_HEADER_SUBTEXT "$(ModeSubtitle)"
!define MULTIUSER_INSTALLMODEPAGE_TEXT_TOP "$(ModeTop)"
!define MULTIUSER_INSTALLMODEPAGE_TEXT_ALLUSERS "$(ModeAllUsers)"
!define MULTIUSER_INSTALLMODEPAGE_TEXT_CURRENTUSER "$(ModeCurrentUser)"
!insertmacro MULTIUSER_PAGE_INSTALLMODE
; Every text of that page is ours: the language files need not bring theirs (Korean has none).
!undef MULTIUSER_INSTALLMODEPAGE
!define MUI_INSTFILESPAGE_FINISHHEADER_SUBTEXT "$(DoneSubtitle)"
!insertmacro MUI_PAGE_INSTFILES
!define MUI_UNCONFIRMPAGE_TEXT_TOP "$(UninstallTop)"
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "Korean"
!insertmacro MUI_LANGUAGE "English"

!macro Text NAME KOREAN ENGLISH
  LangString ${NAME} ${LANG_KOREAN} "${KOREAN}"
  LangString ${NAME} ${LANG_ENGLISH} "${ENGLISH}"
!macroend
!insertmacro Text WelcomeTitle "Quillo 설치" "Quillo Setup"
!insertmacro Text WelcomeText \
  "Quillo는 폴더 창의 빈 곳을 마우스 오른쪽 단추로 클릭하면 나오는 메뉴에 'Quillo 파일 만들기'를 더합니다. 이 항목을 고르면 메모 창이 열리고, 쓴 글은 그 폴더에 '<제목>.txt'로 저장됩니다.$\r$\n$\r$\nWindows 11에서는 메뉴 아래쪽의 '더 많은 옵션 표시'(또는 Shift+F10)에 있습니다.$\r$\n$\r$\n$_CLICK" \
  "Quillo adds 'Quillo 파일 만들기' (make a Quillo file) to the menu that opens when you right-click the empty background of a folder window. It opens a note window, and what you write is saved into that folder as '<title>.txt'.$\r$\n$\r$\nOn Windows 11 the item is under 'Show more options' (or Shift+F10).$\r$\n$\r$\n$_CLICK"
!insertmacro Text ModeTitle "설치 대상 선택" "Choose Users"
!insertmacro Text ModeSubtitle "Quillo를 누구에게 설치할지 고르세요." "Choose for whom to install Quillo."
!insertmacro Text ModeTop \
  "Quillo를 이 컴퓨터의 모든 사용자에게 설치할지, 나에게만 설치할지 고르세요. '모든 사용자'를 고르면 Program Files에, '현재 사용자만'을 고르면 내 사용자 폴더(AppData\Local\Programs)에 설치합니다." \
  "Install Quillo for everyone who uses this computer, or only for you? For all users it goes into Program Files; for you alone, into your profile (AppData\Local\Programs)."
!insertmacro Text ModeAllUsers "모든 사용자" "All users"
!insertmacro Text ModeCurrentUser "현재 사용자만" "Current user only"
!insertmacro Text DoneSubtitle \
  "폴더 창의 빈 곳을 마우스 오른쪽 단추로 클릭하고 'Quillo 파일 만들기'를 고르세요." \
  "Right-click the empty background of a folder window and choose 'Quillo 파일 만들기'."
!insertmacro Text Registered64 "64비트 Quillo.dll을 등록했습니다." "Registered the 64-bit Quillo.dll."
!insertmacro Text Registered32 "32비트 Quillo.dll을 등록했습니다." "Registered the 32-bit Quillo.dll."
!insertmacro Text Failed64 \
  "64비트 Quillo.dll을 등록하지 못했습니다(regsvr32: $0)." \
  "Quillo.dll (64-bit) could not be registered (regsvr32: $0)."
!insertmacro Text Failed32 \
  "32비트 Quillo.dll을 등록하지 못했습니다(regsvr32: $0). 32비트 프로그램에서는 이 메뉴 항목이 보이지 않습니다." \
  "The 32-bit Quillo.dll could not be registered (regsvr32: $0): 32-bit programs will not show the item."
!insertmacro Text AllUsersNeedAdmin \
  "모든 사용자에게 설치하려면 관리자 권한이 필요합니다." \
  "Installing Quillo for all users needs administrator rights."
!insertmacro Text RemoveNeedsAdmin \
  "모든 사용자에게 설치된 Quillo를 제거하려면 관리자 권한이 필요합니다." \
  "Removing Quillo installed for all users needs administrator rights."
!insertmacro Text UninstallTop \
  "Quillo와 메뉴 항목 'Quillo 파일 만들기'를 제거합니다. 이미 만든 메모(.txt 파일)는 그대로 남습니다." \
  "Quillo and its menu item 'Quillo 파일 만들기' will be removed. The notes you made (.txt files) stay."

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "Quillo"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "Quillo setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "Copyright (C) 2026 the Quillo developers. All rights reserved."

; What each regsvr32 is told besides /s and /u: nothing for every user, "/n /i:user" for one.
Var RegsvrArgs

; Korean for a Korean user interface, English for any other (NSIS would take the first language).
!macro ChooseLanguage
  System::Call 'kernel32::GetUserDefaultUILanguage() i .r0'
  IntOp $0 $0 & 0x3FF
  ${If} $0 = 0x12
    StrCpy $LANGUAGE ${LANG_KOREAN}
  ${Else}
    StrCpy $LANGUAGE ${LANG_ENGLISH}
  ${EndIf}
!macroend

; Tells Explorer that handlers changed, so that open folder windows pick up the change.
!macro NotifyShell
  System::Call 'shell32::SHChangeNotify(i ${SHCNE_ASSOCCHANGED}, i 0, p 0, p 0)'
!macroend

; Puts SOURCE as Quillo.dll into the output folder. An earlier Quillo.dll may still be loaded by
; Explorer: a loaded DLL cannot be overwritten but can be renamed, so it is moved aside under a
; fresh temporary name (an earlier one may still be loaded too) and removed at the next restart.
; Without administrator rights no removal can wait for the restart: what earlier upgrades moved
; aside and nothing holds any more goes now.
!macro PutDll SOURCE
  Delete "$OUTDIR\ns*.tmp"
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

!macro OnInstallMode UN
  Function ${UN}OnInstallMode
    ${If} $MultiUser.InstallMode == "CurrentUser"
      StrCpy $RegsvrArgs "/n /i:user"
    ${Else}
      StrCpy $RegsvrArgs ""
    ${EndIf}
  FunctionEnd
!macroend
!insertmacro OnInstallMode ""
!insertmacro OnInstallMode "un."

Function .onInit
  SetRegView 64
  !insertmacro ChooseLanguage
  ; MultiUser.nsh refuses /AllUsers without administrator rights in a message box, which a
  ; silent install must not stop at.
  ${If} ${Silent}
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/AllUsers" $1
    ${IfNot} ${Errors}
      UserInfo::GetAccountType
      Pop $1
      ${If} $1 != "Admin"
      ${AndIf} $1 != "Power"
        SetErrorLevel 2
        Quit
      ${EndIf}
    ${EndIf}
  ${EndIf}
  !insertmacro MULTIUSER_INIT
FunctionEnd

Section "Quillo"
  SetOutPath "$INSTDIR"
  !insertmacro PutDll "${X64_DLL}"
  SetOutPath "$INSTDIR\x86"
  !insertmacro PutDll "${X86_DLL}"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  WriteINIStr "$INSTDIR\${MODE_FILE}" "Quillo" "InstallMode" "$MultiUser.InstallMode"

  ; The entry comes first, so that whatever happens below can be undone from Installed apps.
  ; SHCTX is HKLM for all users and HKCU for one.
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "Quillo"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Uninstall.exe,0"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  ${GetSize} "$INSTDIR" "/S=0K" $1 $2 $3
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1

  ; The 32-bit DLL registers first: where both bitnesses share one store of classes (a user's
  ; classes under Wine, for one) the 64-bit DLL, the one Explorer loads, must write last.
  !insertmacro RunRegsvr "${REGSVR32}" "$RegsvrArgs" "$INSTDIR\x86\Quillo.dll"
  StrCpy $R0 $0
  !insertmacro RunRegsvr "${REGSVR64}" "$RegsvrArgs" "$INSTDIR\Quillo.dll"
  ${If} $0 <> 0
    MessageBox MB_ICONSTOP "$(Failed64)" /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}
  DetailPrint "$(Registered64)"
  ${If} $R0 <> 0
    StrCpy $0 $R0
    DetailPrint "$(Failed32)"
    MessageBox MB_ICONEXCLAMATION "$(Failed32)" /SD IDOK
    SetErrorLevel 3
  ${Else}
    DetailPrint "$(Registered32)"
  ${EndIf}
  !insertmacro NotifyShell
SectionEnd

Function un.onInit
  SetRegView 64
  !insertmacro ChooseLanguage
  ; MultiUser.nsh takes the mode from the user's rights and the folder from the registry; this
  ; uninstaller undoes its own install: its own folder, in the mode noted there (an install
  ; without the note was for all users, the only mode there was).
  StrCpy $R9 $INSTDIR
  !insertmacro MULTIUSER_UNINIT
  ReadINIStr $0 "$R9\${MODE_FILE}" "Quillo" "InstallMode"
  ${If} $0 == "CurrentUser"
    Call un.MultiUser.InstallMode.CurrentUser
  ${ElseIf} $MultiUser.Privileges != "Admin"
  ${AndIf} $MultiUser.Privileges != "Power"
    MessageBox MB_ICONSTOP "$(RemoveNeedsAdmin)" /SD IDOK
    SetErrorLevel 2
    Quit
  ${Else}
    Call un.MultiUser.InstallMode.AllUsers
  ${EndIf}
  StrCpy $INSTDIR $R9
FunctionEnd

Section "Uninstall"
  ; Each DLL removes its own keys from its own view. A 32-bit part that was never registered
  ; has nothing to remove, so its result does not matter.
  !insertmacro RunRegsvr "${REGSVR64}" "/u $RegsvrArgs" "$INSTDIR\Quillo.dll"
  !insertmacro RunRegsvr "${REGSVR32}" "/u $RegsvrArgs" "$INSTDIR\x86\Quillo.dll"
  ; A DLL still loaded by Explorer is removed at the next restart.
  Delete /REBOOTOK "$INSTDIR\Quillo.dll"
  Delete /REBOOTOK "$INSTDIR\x86\Quillo.dll"
  ; Earlier DLLs moved aside by an upgrade, if the restart has not removed them yet.
  Delete /REBOOTOK "$INSTDIR\ns*.tmp"
  Delete /REBOOTOK "$INSTDIR\x86\ns*.tmp"
  Delete "$INSTDIR\${MODE_FILE}"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir /REBOOTOK "$INSTDIR\x86"
  RMDir /REBOOTOK "$INSTDIR"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  !insertmacro NotifyShell
SectionEnd
