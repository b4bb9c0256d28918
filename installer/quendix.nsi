; The installer and uninstaller of Quendix Professional, built with NSIS 3.
; The build (target `installer`) runs:
;   makensis -DBIN_DIR=<build>/bin -DRES_DIR=<source>/resources -DOUT_FILE=<setup.exe> quendix.nsi
;
; Per machine, into Program Files\Quendix. Silent: /S, and /D=<folder> (last,
; unquoted) for another folder. The uninstaller takes /S too, and then keeps
; the user's report and signature databases.

Unicode true
SetCompressor /SOLID lzma

!ifndef BIN_DIR
  !error "Define BIN_DIR, the folder of the built programs and definitions"
!endif
!ifndef RES_DIR
  !error "Define RES_DIR, the folder of the program icon"
!endif
!ifndef OUT_FILE
  !error "Define OUT_FILE, the installer to make"
!endif

!define PRODUCT "Quendix Professional"
!define VERSION "2.5"
!define PUBLISHER "Quendix"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quendix"
!define CONTEXT_VERB "QuendixScan"
!define SHORTCUT "${PRODUCT}.lnk"
; Every window of the program has this class, shown or hidden.
!define WINDOW_CLASS "QuendixForm"
; The definitions updater: its Start-menu shortcut and its daily task.
!define UPDATE_SHORTCUT "Update virus definitions.lnk"
!define UPDATE_TASK "Quendix Update virus definitions"

!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh
!include WordFunc.nsh

Name "${PRODUCT} ${VERSION}"
OutFile "${OUT_FILE}"
InstallDir "$PROGRAMFILES\Quendix"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
ManifestSupportedOS all
ManifestDPIAware true
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "2.5.0.0"
VIFileVersion "2.5.0.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} ${VERSION} Setup"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright ${U+00A9} 2026 ${PUBLISHER}"
VIAddVersionKey /LANG=1033 "OriginalFilename" "quendix-${VERSION}-setup.exe"

!define MUI_ICON "${RES_DIR}/quendix.ico"
!define MUI_UNICON "${RES_DIR}/quendix.ico"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Start ${PRODUCT}"
!define MUI_FINISHPAGE_RUN_FUNCTION StartProgram

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Stops here while the program runs: its files could not be replaced or
; removed, and its exchange files would vanish under it.
!macro REFUSE_WHILE_RUNNING
  ${Do}
    !insertmacro FIND_RUNNING_PROGRAM
    ${If} $R9 == 0
      ${Break}
    ${EndIf}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
      "${PRODUCT} is running. Choose Exit in its File menu, then Retry." /SD IDCANCEL IDRETRY +3
    SetErrorLevel 2
    Quit
  ${Loop}
!macroend

; $R9: 1 when a window of the program's class belongs to the program itself,
; quendix.exe running elevated; any other program may make a window of that
; class, and must not keep the installer or uninstaller from working.
!macro FIND_RUNNING_PROGRAM
  StrCpy $R9 0
  StrCpy $R8 0
  ${Do}
    FindWindow $R8 "${WINDOW_CLASS}" "" 0 $R8
    ${If} $R8 == 0
      ${Break}
    ${EndIf}
    System::Call 'user32::GetWindowThreadProcessId(p R8, *i .R7)'
    ; PROCESS_QUERY_LIMITED_INFORMATION
    System::Call 'kernel32::OpenProcess(i 0x1000, i 0, i R7) p .R6'
    ${If} $R6 P<> 0
      StrCpy $R5 ""
      System::Call 'kernel32::QueryFullProcessImageNameW(p R6, i 0, w .R5, *i ${NSIS_MAX_STRLEN})'
      ${GetFileName} "$R5" $R5
      StrCpy $R4 0
      ; TOKEN_QUERY; TokenElevation
      System::Call 'advapi32::OpenProcessToken(p R6, i 8, *p .R3) i .R2'
      ${If} $R2 <> 0
        System::Call 'advapi32::GetTokenInformation(p R3, i 20, *i .R4, i 4, *i .R2)'
        System::Call 'kernel32::CloseHandle(p R3)'
      ${EndIf}
      System::Call 'kernel32::CloseHandle(p R6)'
      ${If} $R5 == "quendix.exe"
      ${AndIf} $R4 <> 0
        StrCpy $R9 1
        ${Break}
      ${EndIf}
    ${EndIf}
  ${Loop}
!macroend

; The installation folder holds the programs the elevated front end starts
; and the places Windows looks for DLLs first: only administrators and the
; system may change it, users may read and run what is in it. The rights are
; the folder's own, not inherited: a folder outside Program Files would
; otherwise let every user change it.
; The owner is the Administrators too: an owner may always change the rights,
; and a standard user who made the folder first would otherwise stay one.
!define FOLDER_RIGHTS "O:BAD:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)"
!macro PROTECT_FOLDER
  StrCpy $0 1
  System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w "${FOLDER_RIGHTS}", i 1, *p .r1, p 0) i .r2'
  ${If} $2 <> 0
    System::Call 'advapi32::GetSecurityDescriptorDacl(p r1, *i .r3, *p .r4, *i .r5) i .r2'
    System::Call 'advapi32::GetSecurityDescriptorOwner(p r1, *p .r6, *i .r5) i .r3'
    ${If} $2 <> 0
    ${AndIf} $3 <> 0
      ; SE_FILE_OBJECT; OWNER | DACL | PROTECTED_DACL
      System::Call 'advapi32::SetNamedSecurityInfoW(w "$INSTDIR", i 1, i 0x80000005, p r6, p 0, p r4, p 0) i .r0'
    ${EndIf}
    System::Call 'kernel32::LocalFree(p r1)'
  ${EndIf}
  ${If} $0 <> 0
    MessageBox MB_OK|MB_ICONSTOP "The access rights of $INSTDIR could not be set (error $0), so other users could change the programs in it. Nothing more is installed." /SD IDOK
    SetErrorLevel 5
    Quit
  ${EndIf}
  DetailPrint "Only administrators and the system may change $INSTDIR; users may read and run its programs."
!macroend

; $9 = 1 when SYSTEM or the Administrators own the file or folder, else 0.
; Wine keeps no owners (it shows every file as the running user's): there
; every folder counts as the Administrators'.
!macro ADMINISTRATORS_OWN path
  StrCpy $9 0
  System::Call 'kernel32::GetModuleHandleW(w "ntdll.dll") p .r7'
  System::Call 'kernel32::GetProcAddress(p r7, m "wine_get_version") p .r7'
  ${If} $7 P<> 0
    StrCpy $9 1
  ${Else}
    ; SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION
    System::Call 'advapi32::GetNamedSecurityInfoW(w "${path}", i 1, i 1, *p .r7, p 0, p 0, p 0, *p .r8) i .r6'
    ${If} $6 == 0
      System::Call 'advapi32::IsWellKnownSid(p r7, i 26) i .r9' ; WinBuiltinAdministratorsSid
      ${If} $9 == 0
        System::Call 'advapi32::IsWellKnownSid(p r7, i 22) i .r9' ; WinLocalSystemSid
      ${EndIf}
      System::Call 'kernel32::LocalFree(p r8)'
    ${EndIf}
  ${EndIf}
!macroend

; A folder that is not empty and that someone other than the Administrators
; made (with /D=) may hold DLLs that Windows loads into the programs before
; they run: it is refused. Our own earlier installation ($R0) is ours.
!macro REFUSE_FOREIGN_FOLDER
  ${If} ${FileExists} "$INSTDIR\*.*"
  ${AndIf} $R0 != $INSTDIR
    !insertmacro ADMINISTRATORS_OWN "$INSTDIR"
    ${If} $9 == 0
      StrCpy $6 0
      FindFirst $7 $8 "$INSTDIR\*.*"
      ${DoWhile} $8 != ""
        ${If} $8 != "."
        ${AndIf} $8 != ".."
          StrCpy $6 1
        ${EndIf}
        FindNext $7 $8
      ${Loop}
      FindClose $7
      ${If} $6 == 1
        MessageBox MB_OK|MB_ICONSTOP "$INSTDIR is not empty and belongs to a user other than the Administrators, who may have put files there that the programs would load. Nothing is installed: choose an empty folder or a new one." /SD IDOK
        SetErrorLevel 5
        Quit
      ${EndIf}
    ${EndIf}
  ${EndIf}
!macroend

!macro REQUIRE_ADMIN
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "Admin"
    MessageBox MB_OK|MB_ICONSTOP "Only an administrator can install or remove ${PRODUCT}." /SD IDOK
    SetErrorLevel 740 ; ERROR_ELEVATION_REQUIRED
    Quit
  ${EndIf}
!macroend

; The Explorer entry "Scan with Quendix" on one kind of item.
!macro CONTEXT_ENTRY kind
  WriteRegStr HKLM "Software\Classes\${kind}\shell\${CONTEXT_VERB}" "" "Scan with Quendix"
  WriteRegStr HKLM "Software\Classes\${kind}\shell\${CONTEXT_VERB}" "Icon" "$INSTDIR\quendix.exe,0"
  WriteRegStr HKLM "Software\Classes\${kind}\shell\${CONTEXT_VERB}\command" "" '"$INSTDIR\quendix.exe" "%1"'
!macroend

; The entry, and the keys above it that the installer made for it alone
; (those with neither values nor other subkeys).
!macro REMOVE_CONTEXT_ENTRY kind
  DeleteRegKey HKLM "Software\Classes\${kind}\shell\${CONTEXT_VERB}"
  DeleteRegKey /ifempty HKLM "Software\Classes\${kind}\shell"
  DeleteRegKey /ifempty HKLM "Software\Classes\${kind}"
!macroend

; Shortcuts and Explorer entries of this or an earlier installation.
!macro REMOVE_INTEGRATION
  Delete "$SMPROGRAMS\${SHORTCUT}"
  Delete "$DESKTOP\${SHORTCUT}"
  !insertmacro REMOVE_CONTEXT_ENTRY "*"
  !insertmacro REMOVE_CONTEXT_ENTRY "Directory"
  !insertmacro REMOVE_CONTEXT_ENTRY "Drive"
!macroend

Function .onInit
  SetShellVarContext all
  !insertmacro REQUIRE_ADMIN
  !insertmacro REFUSE_WHILE_RUNNING
FunctionEnd

Function StartProgram
  ; The program works in its own folder.
  SetOutPath "$INSTDIR"
  Exec '"$INSTDIR\quendix.exe"'
FunctionEnd

; --- The definitions updater's daily task --------------------------------
; Runs as SYSTEM once a day (later when the machine was off then), spread
; over half an hour so that many installations do not ask the mirror at once.
; Written as task XML: it is the form every schtasks understands, Wine's too.
Function RegisterUpdateTask
  InitPluginsDir
  ${WordReplace} "$INSTDIR" "&" "&amp;" "+" $1
  FileOpen $0 "$PLUGINSDIR\update-task.xml" w
  FileWriteWord $0 0xFEFF
  FileWriteUTF16LE $0 '<?xml version="1.0" encoding="UTF-16"?>$\r$\n'
  FileWriteUTF16LE $0 '<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">$\r$\n'
  FileWriteUTF16LE $0 '<RegistrationInfo><Description>Keeps the virus definitions of ${PRODUCT} current.</Description></RegistrationInfo>$\r$\n'
  FileWriteUTF16LE $0 '<Triggers><CalendarTrigger><StartBoundary>2026-01-01T10:37:00</StartBoundary><RandomDelay>PT30M</RandomDelay>'
  FileWriteUTF16LE $0 '<ScheduleByDay><DaysInterval>1</DaysInterval></ScheduleByDay></CalendarTrigger></Triggers>$\r$\n'
  FileWriteUTF16LE $0 '<Principals><Principal id="System"><UserId>S-1-5-18</UserId><RunLevel>HighestAvailable</RunLevel></Principal></Principals>$\r$\n'
  FileWriteUTF16LE $0 '<Settings><StartWhenAvailable>true</StartWhenAvailable><RunOnlyIfNetworkAvailable>true</RunOnlyIfNetworkAvailable>'
  FileWriteUTF16LE $0 '<DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries><StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>'
  FileWriteUTF16LE $0 '<MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy><ExecutionTimeLimit>PT2H</ExecutionTimeLimit></Settings>$\r$\n'
  FileWriteUTF16LE $0 '<Actions Context="System"><Exec><Command>$1\qdxupdate.exe</Command><Arguments>/quiet</Arguments>'
  FileWriteUTF16LE $0 '<WorkingDirectory>$1</WorkingDirectory></Exec></Actions>$\r$\n</Task>$\r$\n'
  FileClose $0
  nsExec::ExecToLog 'schtasks /Create /F /TN "${UPDATE_TASK}" /RU SYSTEM /XML "$PLUGINSDIR\update-task.xml"'
  Pop $0
  ${If} $0 != 0
    ; Wine's schtasks takes no /RU: the XML names SYSTEM already.
    nsExec::ExecToLog 'schtasks /Create /F /TN "${UPDATE_TASK}" /XML "$PLUGINSDIR\update-task.xml"'
    Pop $0
  ${EndIf}
  ${If} $0 != 0
    DetailPrint "The daily update task could not be registered (schtasks: $0)."
  ${EndIf}
FunctionEnd
; --- end of the definitions updater's daily task -------------------------

Section "${PRODUCT} (required)" SecProgram
  SectionIn RO
  ReadRegStr $R0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  !insertmacro REFUSE_FOREIGN_FOLDER
  ; An earlier installation in another folder goes first; the user's report
  ; and signature databases move here.
  ${If} $R0 != ""
  ${AndIf} $R0 != $INSTDIR
  ${AndIf} ${FileExists} "$R0\uninstall.exe"
    ExecWait '"$R0\uninstall.exe" /S _?=$R0'
    Delete "$R0\uninstall.exe"
    CreateDirectory "$INSTDIR"
    ${IfNot} ${FileExists} "$INSTDIR\quendix.rpt"
      Rename "$R0\quendix.rpt" "$INSTDIR\quendix.rpt"
    ${EndIf}
    ${IfNot} ${FileExists} "$INSTDIR\signatures\*.*"
      Rename "$R0\signatures" "$INSTDIR\signatures"
    ${EndIf}
    ; Gone unless a move across drives failed and left the user's files there.
    RMDir "$R0"
  ${EndIf}
  ; An upgrade starts from a clean slate; the options chosen now put back what they add.
  !insertmacro REMOVE_INTEGRATION

  SetOutPath "$INSTDIR"
  !insertmacro PROTECT_FOLDER
  SetOverwrite on
  File "${BIN_DIR}/quendix.exe"
  File "${BIN_DIR}/quendix7.exe"
  File "${BIN_DIR}/quendix9.exe"
  File "${BIN_DIR}/quendix3.dat"
  File "${BIN_DIR}/qdxvlst.txt"
  File "${BIN_DIR}/third-party-notices.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The working folder is the installation folder: the program relies on it.
  CreateShortCut "$SMPROGRAMS\${SHORTCUT}" "$INSTDIR\quendix.exe" "" "$INSTDIR\quendix.exe" 0 \
    SW_SHOWNORMAL "" "Scan for viruses"

  ; --- The definitions updater -------------------------------------------
  File "${BIN_DIR}/qdxupdate.exe"
  ; An administrator's own mirror settings survive an upgrade.
  SetOverwrite off
  File "${BIN_DIR}/update.ini"
  SetOverwrite on
  CreateDirectory "$INSTDIR\signatures"
  CreateShortCut "$SMPROGRAMS\${UPDATE_SHORTCUT}" "$INSTDIR\qdxupdate.exe" "" "$INSTDIR\qdxupdate.exe" 0 \
    SW_SHOWNORMAL "" "Fetch the newest virus definitions now"
  Call RegisterUpdateTask
  ; --- end of the definitions updater ------------------------------------

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\quendix.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; ---- Quarantine: the quarantine window, its shortcut and the store folder ----
!define QUARANTINE_SHORTCUT "Quendix Quarantine.lnk"
; Owner Administrators; SYSTEM and Administrators only, not inherited from above.
!define QUARANTINE_SDDL "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)"

; Makes the folder with the administrators-only permissions. A link in its
; place is removed first, so that nothing is made where it points; a folder
; someone else made (a standard user may have made it first, and put entries
; in it) is moved aside with what it holds, and a new one made.
!macro QUARANTINE_FOLDER path
  System::Call 'kernel32::GetFileAttributesW(w "${path}") i .r3'
  ${If} $3 != -1
  ${AndIf} $3 & 0x400 ; FILE_ATTRIBUTE_REPARSE_POINT
    RMDir "${path}"
  ${ElseIf} $3 != -1
    !insertmacro ADMINISTRATORS_OWN "${path}"
    ${If} $9 == 0
      System::Call 'kernel32::GetTickCount() i .r7'
      Rename "${path}" "${path}.untrusted-$7"
      DetailPrint "${path} belonged to a user other than the Administrators: moved to ${path}.untrusted-$7."
    ${EndIf}
  ${EndIf}
  System::Call 'kernel32::CreateDirectoryW(w "${path}", p r2) i .r3'
  ; OWNER | DACL | PROTECTED_DACL
  System::Call 'advapi32::SetFileSecurityW(w "${path}", i 0x80000005, p r1) i .r3'
!macroend

Section "-Quarantine" SecQuarantine
  SetOutPath "$INSTDIR"
  File "${BIN_DIR}/quendixq.exe"
  CreateShortCut "$SMPROGRAMS\${QUARANTINE_SHORTCUT}" "$INSTDIR\quendixq.exe" "" "$INSTDIR\quendixq.exe" 0 \
    SW_SHOWNORMAL "" "Restore or delete the files the scanner changed"
  ; $APPDATA is the common application data here (SetShellVarContext all).
  System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w "${QUARANTINE_SDDL}", i 1, *p .r1, p 0) i .r0'
  ${If} $0 == 0
    MessageBox MB_OK|MB_ICONSTOP "Cannot make the quarantine folder's permissions." /SD IDOK
    Abort
  ${EndIf}
  System::Call '*(i 12, p r1, i 0) p .r2' ; SECURITY_ATTRIBUTES
  !insertmacro QUARANTINE_FOLDER "$APPDATA\Quendix"
  !insertmacro QUARANTINE_FOLDER "$APPDATA\Quendix\Quarantine"
  System::Free $2
  System::Call 'kernel32::LocalFree(p r1)'
SectionEnd
; ---- end of quarantine ----

Section "Desktop shortcut" SecDesktop
  SetOutPath "$INSTDIR"
  CreateShortCut "$DESKTOP\${SHORTCUT}" "$INSTDIR\quendix.exe" "" "$INSTDIR\quendix.exe" 0 \
    SW_SHOWNORMAL "" "Scan for viruses"
SectionEnd

Section "Scan with Quendix in Explorer's context menu" SecContextMenu
  !insertmacro CONTEXT_ENTRY "*"
  !insertmacro CONTEXT_ENTRY "Directory"
  !insertmacro CONTEXT_ENTRY "Drive"
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)' ; SHCNE_ASSOCCHANGED
SectionEnd

Section "-Size"
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

Function un.onInit
  SetShellVarContext all
  !insertmacro REQUIRE_ADMIN
  !insertmacro REFUSE_WHILE_RUNNING
FunctionEnd

Section "Uninstall"
  ; What the installer put there.
  Delete "$INSTDIR\quendix.exe"
  Delete "$INSTDIR\quendix7.exe"
  Delete "$INSTDIR\quendix9.exe"
  Delete "$INSTDIR\quendix3.dat"
  Delete "$INSTDIR\qdxvlst.txt"
  Delete "$INSTDIR\third-party-notices.txt"
  Delete "$INSTDIR\uninstall.exe"
  ; --- The definitions updater -------------------------------------------
  nsExec::ExecToLog 'schtasks /Delete /F /TN "${UPDATE_TASK}"'
  Pop $0
  Delete "$SMPROGRAMS\${UPDATE_SHORTCUT}"
  Delete "$INSTDIR\qdxupdate.exe"
  Delete "$INSTDIR\update.ini"
  Delete "$INSTDIR\update.log"
  Delete "$INSTDIR\update.log.new"
  Delete "$INSTDIR\update.dat"
  Delete "$INSTDIR\update.dat.new"
  ; What it downloaded is the product's, not the user's.
  Delete "$INSTDIR\signatures\*.part"
  Delete "$INSTDIR\signatures\quendix.cnt"
  ; --- end of the definitions updater ------------------------------------
  !insertmacro REMOVE_INTEGRATION
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ; Where a running program recorded its hand-over channel.
  DeleteRegKey HKLM "Software\Quendix\HandOver"
  DeleteRegKey /ifempty HKLM "Software\Quendix"

  ; What the program and its engines leave in their folder (NSIS reads "$$$$" as "$$").
  Delete "$INSTDIR\windir.inf"
  Delete "$INSTDIR\quendix3.inf"
  Delete "$INSTDIR\quendix2.inf"
  Delete "$INSTDIR\$$$$file$$5"
  ; ... in the Windows directory: exchange files and the engines' working copies.
  Delete "$WINDIR\quendix3.inf"
  Delete "$WINDIR\quendix.dat"
  Delete "$WINDIR\quendix.def"
  Delete "$WINDIR\quendix2.def"
  Delete "$WINDIR\quendix3.def"
  Delete "$WINDIR\quendix.inf"
  Delete "$WINDIR\quendix2.dat"
  Delete "$WINDIR\sign.def"
  Delete "$WINDIR\sign2.def"
  Delete "$WINDIR\macro.def"
  Delete "$WINDIR\english.tx0"
  Delete "$WINDIR\$$$$file$$$$"
  Delete "$WINDIR\$$$$file$$3"
  Delete "$WINDIR\$$$$file$$5"
  Delete "$WINDIR\$$$$file$$6"
  Delete "$WINDIR\$$$$file$$7"
  ; ... and at the root of the drive the program ran on.
  ${GetRoot} "$INSTDIR" $0
  Delete "$0\$$$$file$$4"

  ; ---- Quarantine: the window and its shortcut go; the kept files only when
  ; the user says so (a silent uninstall keeps them). An empty store goes.
  Delete "$INSTDIR\quendixq.exe"
  Delete "$SMPROGRAMS\${QUARANTINE_SHORTCUT}"
  ${If} ${FileExists} "$APPDATA\Quendix\Quarantine\*.qdq"
    MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 \
      "Remove the quarantine as well? The files the scanner changed are kept there, in $APPDATA\Quendix\Quarantine, and could no longer be restored.$\n$\nChoose No to keep them." \
      /SD IDNO IDNO keepQuarantine
    RMDir /r "$APPDATA\Quendix\Quarantine"
    keepQuarantine:
  ${Else}
    ; Files that are no entries (a write cut short) go with the empty store.
    RMDir /r "$APPDATA\Quendix\Quarantine"
  ${EndIf}
  RMDir "$APPDATA\Quendix"
  ; ---- end of quarantine ----

  ; The user's own files stay unless the user says otherwise. (An empty
  ; signatures folder holds nothing of theirs; the compiled image of the
  ; databases and the figures of earlier versions are ours.)
  Delete "$INSTDIR\signatures\quendix.img"
  Delete "$INSTDIR\signatures\quendix.img.*.new"
  Delete "$INSTDIR\signatures\quendix.cnt"
  RMDir "$INSTDIR\signatures"
  ${If} ${FileExists} "$INSTDIR\quendix.rpt"
  ${OrIf} ${FileExists} "$INSTDIR\signatures\*.*"
    MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 \
      "Remove your scan report (quendix.rpt) and any signature databases you placed in the signatures folder as well?$\n$\nChoose No to keep them in $INSTDIR." \
      /SD IDNO IDNO keep
    Delete "$INSTDIR\quendix.rpt"
    RMDir /r "$INSTDIR\signatures"
    keep:
  ${EndIf}
  ; Gone unless something of the user's is still in it.
  RMDir "$INSTDIR"

  ; This runs from a copy in a temporary folder, which is removed at the next
  ; start of Windows, the folder before the copy in it: ask again for the
  ; folder, now after the copy.
  ${GetParent} "$EXEDIR" $0
  ${GetFileName} "$EXEDIR" $1
  StrCpy $1 $1 4
  ${If} $0 == $TEMP
  ${AndIf} $1 == "~nsu"
    RMDir /REBOOTOK "$EXEDIR"
  ${EndIf}
SectionEnd
