; QuilloSetup.exe: installs Quillo on a 64-bit Windows, for every user (Program Files\Quillo) or
; for the current user only (%LOCALAPPDATA%\Programs\Quillo, no administrator rights needed). An
; administrator chooses, all users being the default; anyone else gets the per-user install.
; The 64-bit Quillo.dll serves 64-bit Explorer and programs; the 32-bit one, in x86\, serves the
; file dialogs of 32-bit programs. Each DLL registers itself through the regsvr32 of its own
; bitness, so each writes to its own registry view: for every user its DllRegisterServer, for
; one user its DllInstall ("/n /i:user", the user's own classes). This script writes no class
; keys of its own, only its uninstall entry (HKLM or HKCU) and, for its uninstaller, the mode.
;
; On Windows 11 (build 22000 or later) it also registers Quillo.msix, the signed package whose
; external location is the install folder, for the installing user (and, installed for all
; users, for every other user at their next sign-in, through Active Setup): Explorer then shows
; the command on the first level of a folder background's menu. Registration goes through
; PowerShell's Add-AppxPackage; when it fails (no PowerShell, a certificate Windows does not
; trust) the install still succeeds with the classic item, and Setup.log in the install folder
; says why.
;
; Which 64-bit DLL, package and note process a machine gets follows its native architecture
; (x64 or ARM64; Architecture.nsh): anything else is refused with exit code 2.
;
; Made by cmake/setup.cmake: makensis -DVERSION=1.1.0.0 -DX64_DLL=... -DX86_DLL=... -DOUTFILE=...
;   -DMSIX=Quillo.msix -DLOGO=Quillo.png -DPACKAGE_NSH=QuilloPackage.nsh [-DNOTE_EXE=QuilloNote.exe]
;   -DARM64_DLL=... -DARM64_NOTE_EXE=... -DARM64_MSIX=Quillo-arm64.msix
; Silent: /S installs for all users when an administrator runs it, else for the current user;
; /S /AllUsers or /S /CurrentUser choose. /D=FOLDER (last, unquoted) installs there in either mode.
; Exit codes: 0 installed; 2 aborted (the 64-bit DLL could not be registered, all users were
; asked for without administrator rights, or the machine is neither x64 nor ARM64); 3 installed,
; but the 32-bit DLL could not be registered (32-bit programs do not show the item).

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
!ifndef MSIX | LOGO | PACKAGE_NSH
  !error "define MSIX, LOGO and PACKAGE_NSH"
!endif
!ifndef ARM64_DLL | ARM64_NOTE_EXE | ARM64_MSIX
  !error "define ARM64_DLL, ARM64_NOTE_EXE and ARM64_MSIX"
!endif
; PACKAGE_NAME and PACKAGE_FAMILY, which follow from the signing certificate.
!include "${PACKAGE_NSH}"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillo"
!define PUBLISHER "the Quillo developers"
!define REGSVR64 "$SYSDIR\regsvr32.exe"          ; this installer is 64-bit: no redirection
!define REGSVR32 "$WINDIR\SysWOW64\regsvr32.exe"
!define SHCNE_ASSOCCHANGED 0x08000000
; Beside the uninstaller: the mode it was installed in, which the uninstaller undoes.
!define MODE_FILE "Uninstall.ini"
; What the package registration did and why, beside the files it concerns.
!define SETUP_LOG "Setup.log"
!define WINDOWS_11_BUILD 22000
!define POWERSHELL "$SYSDIR\WindowsPowerShell\v1.0\powershell.exe"
!define PS_ARGS "-NoProfile -NonInteractive"
; Where the classic handler learns that this user has the package (uPackagedMenu.cpp).
!define QUILLO_KEY "Software\Quillo"
!define ACTIVE_SETUP_KEY "Software\Microsoft\Active Setup\Installed Components\{5E8B2C41-7D3A-4F96-B0E5-2A1C9D4F6B83}"
; The registration's PowerShell text for the uninstall entry under ROOT (HKLM or HKCU). The
; install folder reaches PowerShell as data read from that entry, never as script text: a
; folder's name may hold anything PowerShell would read as code (a quote, "’", a ";").
!define PS_ADD_PACKAGE "$$d = (Get-ItemProperty -LiteralPath '$R5:\${UNINSTALL_KEY}').InstallLocation; Add-AppxPackage -Path (Join-Path $$d 'Quillo.msix') -ExternalLocation $$d"

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
!include "WordFunc.nsh"

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
  "Quillo는 폴더 창의 빈 곳을 마우스 오른쪽 단추로 클릭하면 나오는 메뉴에 'Quillo 파일 만들기'를 더합니다. 이 항목을 고르면 메모 창이 열리고, 쓴 글은 그 폴더에 '<제목>.txt'로 저장됩니다.$\r$\n$\r$\nWindows 11에서는 메뉴의 첫 단계에 있습니다(Quillo.msix를 등록할 수 없으면 '더 많은 옵션 표시' 또는 Shift+F10 안에).$\r$\n$\r$\n$_CLICK" \
  "Quillo adds 'Quillo 파일 만들기' (make a Quillo file) to the menu that opens when you right-click the empty background of a folder window. It opens a note window, and what you write is saved into that folder as '<title>.txt'.$\r$\n$\r$\nOn Windows 11 it is on the first level of the menu (under 'Show more options' or Shift+F10 where Quillo.msix cannot be registered).$\r$\n$\r$\n$_CLICK"
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
!insertmacro Text PackageRegistered \
  "Windows 11 메뉴의 첫 단계에 Quillo를 등록했습니다(Quillo.msix)." \
  "Registered Quillo on the first level of Windows 11's menu (Quillo.msix)."
!insertmacro Text PackageFailed \
  "Quillo.msix를 등록하지 못했습니다(PowerShell: $0). 'Quillo 파일 만들기'는 '더 많은 옵션 표시'에 있습니다. $1" \
  "Quillo.msix could not be registered (PowerShell: $0): 'Quillo 파일 만들기' stays under 'Show more options'. $1"
!insertmacro Text PackageNoPowerShell \
  "PowerShell(${POWERSHELL})이 없어 Quillo.msix를 등록하지 않았습니다. 'Quillo 파일 만들기'는 '더 많은 옵션 표시'에 있습니다." \
  "PowerShell (${POWERSHELL}) is missing, so Quillo.msix was not registered: 'Quillo 파일 만들기' stays under 'Show more options'."
!insertmacro Text PackageNotWindows11 \
  "Windows 빌드 $0: Quillo.msix는 Windows 11(빌드 ${WINDOWS_11_BUILD} 이상)용이므로 등록하지 않았습니다." \
  "Windows build $0: Quillo.msix is for Windows 11 (build ${WINDOWS_11_BUILD} or later) and was not registered."
!insertmacro Text PackageOldRemoved \
  "이전 버전의 Quillo.msix 등록을 지웠습니다(PowerShell: $0)." \
  "Removed the earlier registration of Quillo.msix (PowerShell: $0)."
!insertmacro Text PackageRemoved \
  "Quillo.msix 등록을 지웠습니다(PowerShell: $0)." \
  "Removed the registration of Quillo.msix (PowerShell: $0)."
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
; The folder /D= named, empty without one: it holds in either mode, over the mode's default and
; an earlier install's folder.
Var ChosenDir

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
!macro PutFile SOURCE NAME
  Delete "$OUTDIR\ns*.tmp"
  Delete "$OUTDIR\${NAME}"
  ${If} ${FileExists} "$OUTDIR\${NAME}"
    GetTempFileName $1 "$OUTDIR"
    Delete $1
    Rename "$OUTDIR\${NAME}" $1
    Delete /REBOOTOK $1
  ${EndIf}
  File "/oname=${NAME}" "${SOURCE}"
!macroend
!macro PutDll SOURCE
  !insertmacro PutFile "${SOURCE}" "Quillo.dll"
!macroend

!include "${__FILEDIR__}\Architecture.nsh"

; A line of the install's log, shown and kept in Setup.log (UTF-16, for any language's text).
!macro Log TEXT
  DetailPrint "${TEXT}"
  Push "${TEXT}"
  Call WriteLog
!macroend
Function WriteLog
  Exch $0
  Push $1
  Push $2
  ClearErrors
  FileOpen $1 "$INSTDIR\${SETUP_LOG}" a
  ${IfNot} ${Errors}
    FileSeek $1 0 END $2
    ${If} $2 = 0
      FileWriteUTF16LE /BOM $1 "$0$\r$\n"
    ${Else}
      FileWriteUTF16LE $1 "$0$\r$\n"
    ${EndIf}
    FileClose $1
  ${EndIf}
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; Runs one PowerShell command hidden; $0 is its exit code ("error" when it did not start) and
; $1 what it printed, on one line.
!macro RunPowerShell COMMAND
  nsExec::ExecToStack `"${POWERSHELL}" ${PS_ARGS} -Command "${COMMAND}"`
  Pop $0
  Pop $1
  ${WordReplace} "$1" "$\r$\n" " " "+" $1
  ${WordReplace} "$1" "$\n" " " "+" $1
!macroend

; The Windows build from the registry (Wine and a test prefix can set it; the version
; functions never say Windows 11 there), 0 when it cannot be read.
!macro ReadWindowsBuild
  ReadRegStr $0 HKLM "SOFTWARE\Microsoft\Windows NT\CurrentVersion" "CurrentBuildNumber"
  IntOp $0 $0 + 0
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
  !if "${UN}" == ""
    ; MultiUser.nsh has just put the mode's folder in $INSTDIR.
    ${If} $ChosenDir != ""
      StrCpy $INSTDIR $ChosenDir
    ${EndIf}
  !endif
  FunctionEnd
!macroend
!insertmacro OnInstallMode ""
!insertmacro OnInstallMode "un."

Function .onInit
  SetRegView 64
  !insertmacro ChooseLanguage
  !insertmacro RefuseUnsupportedArchitecture
  ; NSIS has put /D='s folder in $INSTDIR (this script names no default), before MultiUser.nsh
  ; replaces it with the mode's.
  StrCpy $ChosenDir $INSTDIR
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
  !insertmacro PutNativeDll
  SetOutPath "$INSTDIR\x86"
  !insertmacro PutDll "${X86_DLL}"
  SetOutPath "$INSTDIR"
  ; An earlier install that put the package may have registered it: that goes first (Windows
  ; refuses to add the same version twice, 0x80073CF9).
  StrCpy $R1 0
  ${If} ${FileExists} "$INSTDIR\Quillo.msix"
    StrCpy $R1 1
  ${EndIf}
  Delete "$INSTDIR\${SETUP_LOG}"
  !insertmacro PutNativePackage
  File "/oname=Quillo.png" "${LOGO}"
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
  Call RegisterPackage
  !insertmacro NotifyShell
SectionEnd

; On Windows 11, after the DLLs: the package for this user and, for all users once it worked
; for this one, Active Setup's entry, which registers it for every other user at their next
; sign-in. Whatever fails here leaves the install as it is, with the classic item; the log says
; why.
Function RegisterPackage
  !insertmacro ReadWindowsBuild
  ${If} $0 < ${WINDOWS_11_BUILD}
    !insertmacro Log "$(PackageNotWindows11)"
    Return
  ${EndIf}
  ${IfNot} ${FileExists} "${POWERSHELL}"
    !insertmacro Log "$(PackageNoPowerShell)"
    Call ForgetActiveSetup
    Return
  ${EndIf}
  ${If} $R1 = 1
    !insertmacro RunPowerShell "Get-AppxPackage -Name '${PACKAGE_NAME}' | Remove-AppxPackage"
    !insertmacro Log "$(PackageOldRemoved)"
  ${EndIf}
  ${If} $MultiUser.InstallMode == "AllUsers"
    StrCpy $R5 "HKLM"
  ${Else}
    StrCpy $R5 "HKCU"
  ${EndIf}
  !insertmacro RunPowerShell "${PS_ADD_PACKAGE}"
  ${If} $0 == 0
    WriteRegStr HKCU "${QUILLO_KEY}" "PackageFamily" "${PACKAGE_FAMILY}"
    !insertmacro Log "$(PackageRegistered)"
    ${If} $MultiUser.InstallMode == "AllUsers"
      Call WriteActiveSetup
    ${EndIf}
  ${Else}
    DeleteRegValue HKCU "${QUILLO_KEY}" "PackageFamily"
    !insertmacro Log "$(PackageFailed)"
    ; What fails for the installing user (an untrusted certificate) would fail for everyone:
    ; no one pays a hidden PowerShell run at sign-in for it.
    Call ForgetActiveSetup
  ${EndIf}
FunctionEnd

; Active Setup runs StubPath at a user's sign-in when that user's copy of the entry's Version
; is missing or older. The stub notes the family for the classic handler when the registration
; worked, and otherwise deletes the user's copy, so that the next sign-in tries again.
Function WriteActiveSetup
  StrCpy $R5 "HKLM"
  ${WordReplace} "${VERSION}" "." "," "+" $R4
  WriteRegStr HKLM "${ACTIVE_SETUP_KEY}" "" "Quillo"
  WriteRegStr HKLM "${ACTIVE_SETUP_KEY}" "Version" "$R4"
  WriteRegDWORD HKLM "${ACTIVE_SETUP_KEY}" "IsInstalled" 1
  WriteRegStr HKLM "${ACTIVE_SETUP_KEY}" "StubPath" \
    `"${POWERSHELL}" ${PS_ARGS} -WindowStyle Hidden -Command "${PS_ADD_PACKAGE}; if ($$?) { reg.exe add 'HKCU\${QUILLO_KEY}' /v PackageFamily /d '${PACKAGE_FAMILY}' /f } else { reg.exe delete 'HKCU\${ACTIVE_SETUP_KEY}' /f }"`
  ; The installing user is served now, not again at the next sign-in.
  WriteRegStr HKCU "${ACTIVE_SETUP_KEY}" "Version" "$R4"
FunctionEnd

; For all users: no one is registered at sign-in any more.
!macro ForgetActiveSetup UN
  Function ${UN}ForgetActiveSetup
    ${If} $MultiUser.InstallMode == "AllUsers"
      DeleteRegKey HKLM "${ACTIVE_SETUP_KEY}"
      DeleteRegKey HKCU "${ACTIVE_SETUP_KEY}"
    ${EndIf}
  FunctionEnd
!macroend
!insertmacro ForgetActiveSetup ""
!insertmacro ForgetActiveSetup "un."

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
  ; The package first, so that Explorer lets go of the command before the DLL goes: for all
  ; users, every user's registration (Active Setup registers no one any more).
  !insertmacro ReadWindowsBuild
  ${If} $0 >= ${WINDOWS_11_BUILD}
  ${AndIf} ${FileExists} "$INSTDIR\Quillo.msix"
  ${AndIf} ${FileExists} "${POWERSHELL}"
    ${If} $MultiUser.InstallMode == "AllUsers"
      !insertmacro RunPowerShell \
        "Get-AppxPackage -AllUsers -Name '${PACKAGE_NAME}' | Remove-AppxPackage -AllUsers"
    ${Else}
      !insertmacro RunPowerShell "Get-AppxPackage -Name '${PACKAGE_NAME}' | Remove-AppxPackage"
    ${EndIf}
    DetailPrint "$(PackageRemoved)"
  ${EndIf}
  Call un.ForgetActiveSetup
  DeleteRegValue HKCU "${QUILLO_KEY}" "PackageFamily"
  DeleteRegKey /ifempty HKCU "${QUILLO_KEY}"
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
  Delete /REBOOTOK "$INSTDIR\QuilloNote.exe"
  Delete "$INSTDIR\Quillo.msix"
  Delete "$INSTDIR\Quillo.png"
  Delete "$INSTDIR\${SETUP_LOG}"
  Delete "$INSTDIR\${MODE_FILE}"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir /REBOOTOK "$INSTDIR\x86"
  RMDir /REBOOTOK "$INSTDIR"
  Call un.RemoveEmptyDraftsFolder
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  !insertmacro NotifyShell
SectionEnd

; The notes' drafts folder in the uninstalling user's profile (%LOCALAPPDATA%\Quillo\Drafts, as
; note/uDraft.cpp makes it) and Quillo's folder above it go when they are empty. A draft is
; unsaved text: it, and the folders holding it, always stay.
Function un.RemoveEmptyDraftsFolder
  GetKnownFolderPath $0 {F1B32785-6FBA-4FCF-9D55-7B8E7F157091} ; FOLDERID_LocalAppData
  ${If} $0 != ""
    RMDir "$0\Quillo\Drafts"
    RMDir "$0\Quillo"
  ${EndIf}
FunctionEnd
