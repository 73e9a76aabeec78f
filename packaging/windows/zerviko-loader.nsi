; The Windows installer of the ZERVIKO firmware loader, built by makensis from the
; zipped program folder's contents
; (makensis -INPUTCHARSET UTF8 -DVERSION=... -DSTAGE=... -DICON=... -DOUTFILE=...).
;
; Per user, without administrator rights, into the user's own programs folder: the
; wizard writes "Status.log" beside itself, which a folder under Program Files would
; not allow. A language page puts the chosen language library into "Resources".
; Silent installation for IT departments and tests:
;   zerviko-loader-setup.exe /S [/LANGUAGE=FRA|DEU|PTB|ESP] [/D=FOLDER]
; /D= must be a full path (C:\Tools\ZERVIKO): NSIS would ignore any other and install
; into the default folder, so one it ignores is refused (exit status 2).
; The uninstaller removes what was installed and keeps "Status.log", the record of
; every run that a technician sends when a printer fails, and the packages the user
; added to "Firmware Files".
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user

!include "MUI2.nsh"
!include "nsDialogs.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"

!define PRODUCT "ZERVIKO Firmware Loader"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\ZERVIKO Firmware Loader"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show

Var WizardLanguage        ; "", FRA, DEU, PTB or ESP
Var LanguageList

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\zerviko-loader.exe"
!insertmacro MUI_PAGE_DIRECTORY
Page custom LanguagePage LanguagePageLeave
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!define MUI_UNCONFIRMPAGE_TEXT_TOP "The loader will be removed from the folder below. Status.log (the record of the wizard's runs) and the packages you added to $\"Firmware Files$\" are kept there."
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; The names the wizard recognises, and what the page offers for each.
!macro LANGUAGE_CHOICE name library
  ${If} $R0 == "${name}"
    StrCpy $WizardLanguage "${library}"
  ${EndIf}
!macroend

; NSIS takes /D= off the command line it gives the script, and ignores a folder that is
; not a full path (or is quoted, or has "/" for "\") without a word: the process's own
; command line tells what was asked for, and $INSTDIR whether NSIS took it. /D= comes
; last, so the last one is the one (the program's own path may hold one too).
Function CheckInstallFolder
  System::Call 'kernel32::GetCommandLineW() t .r0'
  StrLen $2 $0
  ${Do}
    IntOp $2 $2 - 1
    ${If} $2 < 1
      Return
    ${EndIf}
    StrCpy $3 $0 3 $2
    IntOp $4 $2 - 1
    StrCpy $4 $0 1 $4
    ${If} $3 S== "/D="
      ${If} $4 == " "
      ${OrIf} $4 == '"'
        ${ExitDo}
      ${EndIf}
    ${EndIf}
  ${Loop}
  IntOp $2 $2 + 3
  StrCpy $3 $0 "" $2
  ; The same folder, but for a "\" at its end.
  StrCpy $4 $3 1 -1
  ${If} $4 == "\"
    StrCpy $3 $3 -1
  ${EndIf}
  StrCpy $4 $INSTDIR 1 -1
  StrCpy $5 $INSTDIR
  ${If} $4 == "\"
    StrCpy $5 $INSTDIR -1
  ${EndIf}
  ${If} $3 == $5
    Return
  ${EndIf}
  MessageBox MB_OK|MB_ICONSTOP "The folder $\"$3$\" cannot be used: /D= comes last, without quotes, and gives a full path such as /D=C:\Tools\ZERVIKO." /SD IDOK
  SetErrorLevel 2
  Quit
FunctionEnd

Function .onInit
  SetShellVarContext current
  Call CheckInstallFolder
  StrCpy $WizardLanguage ""
  ${GetParameters} $R1
  ClearErrors
  ${GetOptions} $R1 "/LANGUAGE=" $R2
  ${IfNot} ${Errors}
    ${If} $R2 == "FRA"
    ${OrIf} $R2 == "DEU"
    ${OrIf} $R2 == "PTB"
    ${OrIf} $R2 == "ESP"
      StrCpy $WizardLanguage $R2
    ${ElseIf} $R2 != "ENG"
      MessageBox MB_OK|MB_ICONSTOP "Unknown language $R2: use FRA, DEU, PTB, ESP or ENG." /SD IDOK
      Abort
    ${EndIf}
  ${EndIf}
FunctionEnd

Function LanguagePage
  !insertmacro MUI_HEADER_TEXT "Language" "Choose the language of the wizard."
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 24u "The wizard speaks the language chosen here. It can be changed later by putting another library from $\"Languages$\" into $\"Resources$\"."
  Pop $0
  ${NSD_CreateDropList} 0 30u 60% 80u ""
  Pop $LanguageList
  ${NSD_CB_AddString} $LanguageList "English"
  ${NSD_CB_AddString} $LanguageList "Français"
  ${NSD_CB_AddString} $LanguageList "Deutsch"
  ${NSD_CB_AddString} $LanguageList "Português"
  ${NSD_CB_AddString} $LanguageList "Español"
  ${Select} $WizardLanguage
    ${Case} "FRA"
      ${NSD_CB_SelectString} $LanguageList "Français"
    ${Case} "DEU"
      ${NSD_CB_SelectString} $LanguageList "Deutsch"
    ${Case} "PTB"
      ${NSD_CB_SelectString} $LanguageList "Português"
    ${Case} "ESP"
      ${NSD_CB_SelectString} $LanguageList "Español"
    ${CaseElse}
      ${NSD_CB_SelectString} $LanguageList "English"
  ${EndSelect}
  nsDialogs::Show
FunctionEnd

Function LanguagePageLeave
  ${NSD_GetText} $LanguageList $R0
  StrCpy $WizardLanguage ""
  !insertmacro LANGUAGE_CHOICE "Français" "FRA"
  !insertmacro LANGUAGE_CHOICE "Deutsch" "DEU"
  !insertmacro LANGUAGE_CHOICE "Português" "PTB"
  !insertmacro LANGUAGE_CHOICE "Español" "ESP"
FunctionEnd

Section "Install"
  SetOutPath "$INSTDIR"
  File "${STAGE}\zerviko-loader.exe"
  File "${STAGE}\zerviko-flash.exe"
  File "${STAGE}\Genm2329.cde"
  File "${STAGE}\Gene2329.cde"
  File "${STAGE}\Genw2329.cde"
  File "${STAGE}\uKernel2329.cde"
  File "${STAGE}\README.txt"
  SetOutPath "$INSTDIR\Languages"
  File "${STAGE}\Languages\FRA.dll"
  File "${STAGE}\Languages\DEU.dll"
  File "${STAGE}\Languages\PTB.dll"
  File "${STAGE}\Languages\ESP.dll"
  SetOutPath "$INSTDIR\Firmware Files"
  File "${STAGE}\Firmware Files\ZERVIKO_ABC_V2.14.avk"
  File "${STAGE}\Firmware Files\ZERVIKO_KBD_V2.14.qvk"
  ; Only the chosen library: the wizard takes the first one it finds there.
  CreateDirectory "$INSTDIR\Resources"
  Delete "$INSTDIR\Resources\FRA.dll"
  Delete "$INSTDIR\Resources\DEU.dll"
  Delete "$INSTDIR\Resources\PTB.dll"
  Delete "$INSTDIR\Resources\ESP.dll"
  ${If} $WizardLanguage != ""
    CopyFiles /SILENT "$INSTDIR\Languages\$WizardLanguage.dll" "$INSTDIR\Resources\$WizardLanguage.dll"
  ${EndIf}

  ; The wizard, and a command prompt in the program folder for zerviko-flash.
  SetOutPath "$INSTDIR"
  CreateDirectory "$SMPROGRAMS\${PRODUCT}"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk" "$INSTDIR\zerviko-loader.exe"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\ZERVIKO command prompt.lnk" "$SYSDIR\cmd.exe" \
    '/k "cd /d "$INSTDIR" && zerviko-flash --help"'
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\Uninstall.lnk" "$INSTDIR\Uninstall.exe"

  WriteUninstaller "$INSTDIR\Uninstall.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Tarno Corp."
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\zerviko-loader.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Function un.onInit
  SetShellVarContext current
FunctionEnd

Section "Uninstall"
  Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\ZERVIKO command prompt.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\Uninstall.lnk"
  RMDir "$SMPROGRAMS\${PRODUCT}"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  Delete "$INSTDIR\zerviko-loader.exe"
  Delete "$INSTDIR\zerviko-flash.exe"
  Delete "$INSTDIR\Genm2329.cde"
  Delete "$INSTDIR\Gene2329.cde"
  Delete "$INSTDIR\Genw2329.cde"
  Delete "$INSTDIR\uKernel2329.cde"
  Delete "$INSTDIR\README.txt"
  ; "Status.log" stays: it is the technician's, not ours.
  Delete "$INSTDIR\Languages\FRA.dll"
  Delete "$INSTDIR\Languages\DEU.dll"
  Delete "$INSTDIR\Languages\PTB.dll"
  Delete "$INSTDIR\Languages\ESP.dll"
  RMDir "$INSTDIR\Languages"
  Delete "$INSTDIR\Resources\FRA.dll"
  Delete "$INSTDIR\Resources\DEU.dll"
  Delete "$INSTDIR\Resources\PTB.dll"
  Delete "$INSTDIR\Resources\ESP.dll"
  RMDir "$INSTDIR\Resources"
  ; The samples go; packages the user added stay, and with them the folder.
  Delete "$INSTDIR\Firmware Files\ZERVIKO_ABC_V2.14.avk"
  Delete "$INSTDIR\Firmware Files\ZERVIKO_KBD_V2.14.qvk"
  RMDir "$INSTDIR\Firmware Files"
  ; Last, so that its going tells that the uninstallation is over. The folder goes
  ; only when nothing of the user's is left in it.
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
SectionEnd
