; The Windows installer. tools/build-windows.sh runs makensis with
;   -DVERSION=0.1.0 -DFILES=<install list> -DREMOVE=<removal list> (both made from the folder
;   the zip holds) -DOUTFILE=<setup.exe> -DPUBLISHER=<name> -DICON=<tolvane.ico>
; For the current user (no administrator rights) into %LOCALAPPDATA%\Programs\Tolvane, or,
; started with administrator rights, for all users into Program Files. /CURRENTUSER and
; /ALLUSERS choose; /S is silent and /D=FOLDER (last) chooses the folder. The uninstaller
; keeps %APPDATA%\Tolvane unless its box is ticked or /REMOVESETTINGS is given.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include Sections.nsh

!define APP Tolvane
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tolvane"
!define PROGID "Tolvane.DelimitedText"

Name "${APP}"
OutFile "${OUTFILE}"
BrandingText "${APP} ${VERSION}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=0 "ProductName" "${APP}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileDescription" "${APP} ${VERSION} Setup"
VIAddVersionKey /LANG=0 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=0 "LegalCopyright" "Copyright (C) 2026 ${PUBLISHER}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
; The components' names get the page's whole width, their descriptions go below.
!define MUI_COMPONENTSPAGE_SMALLDESC
!define MUI_FINISHPAGE_RUN "$INSTDIR\tolvane.exe"
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\README-ja.txt"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

; The first language is the one for a system that speaks neither.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Japanese"

LangString ProgramSection ${LANG_ENGLISH} "Tolvane (required)"
LangString ProgramSection ${LANG_JAPANESE} "Tolvane (必須)"
LangString DesktopSection ${LANG_ENGLISH} "Shortcut on the desktop"
LangString DesktopSection ${LANG_JAPANESE} "デスクトップにショートカット"
LangString SettingsSection ${LANG_ENGLISH} "Also remove the settings"
LangString SettingsSection ${LANG_JAPANESE} "設定も削除する"
LangString SettingsText ${LANG_ENGLISH} "Removes %APPDATA%\Tolvane, where Tolvane keeps its settings."
LangString SettingsText ${LANG_JAPANESE} "Tolvane の設定 (%APPDATA%\Tolvane) を削除します。"
LangString TypeName ${LANG_ENGLISH} "Delimited text"
LangString TypeName ${LANG_JAPANESE} "区切りテキスト"

Var AllUsers

; Both the installer and the uninstaller pick where they work from the same switches and rights.
!macro ChooseMode un
Function ${un}ChooseMode
    ${GetParameters} $R0
    StrCpy $AllUsers 0
    !if "${un}" == ""
        UserInfo::GetAccountType
        Pop $R1
        ${If} $R1 == "Admin"
            StrCpy $AllUsers 1
        ${EndIf}
    !else
        ; The uninstaller removes the installation it belongs to: the current user's when
        ; the current user's entry names its folder.
        ReadRegStr $R1 HKCU "${UNINSTALL_KEY}" "InstallLocation"
        ${If} $R1 != $INSTDIR
            StrCpy $AllUsers 1
        ${EndIf}
    !endif
    ClearErrors
    ${GetOptions} $R0 "/ALLUSERS" $R2
    ${IfNot} ${Errors}
        StrCpy $AllUsers 1
    ${EndIf}
    ClearErrors
    ${GetOptions} $R0 "/CURRENTUSER" $R2
    ${IfNot} ${Errors}
        StrCpy $AllUsers 0
    ${EndIf}
    ${If} $AllUsers == 1
        SetShellVarContext all
    ${Else}
        SetShellVarContext current
    ${EndIf}
FunctionEnd
!macroend
!insertmacro ChooseMode ""
!insertmacro ChooseMode "un."

Function .onInit
    SetRegView 64
    Call ChooseMode
    ; /D= has set $INSTDIR already; otherwise an earlier installation's folder, or the default.
    ${If} $INSTDIR == ""
        ReadRegStr $INSTDIR SHCTX "${UNINSTALL_KEY}" "InstallLocation"
    ${EndIf}
    ${If} $INSTDIR == ""
        ${If} $AllUsers == 1
            StrCpy $INSTDIR "$PROGRAMFILES64\${APP}"
        ${Else}
            StrCpy $INSTDIR "$LOCALAPPDATA\Programs\${APP}"
        ${EndIf}
    ${EndIf}
FunctionEnd

!macro OpenWith ext
    WriteRegStr SHCTX "Software\Classes\${ext}\OpenWithProgids" "${PROGID}" ""
    WriteRegStr SHCTX "Software\Classes\Applications\tolvane.exe\SupportedTypes" "${ext}" ""
!macroend

Section "!$(ProgramSection)" SecProgram
    SectionIn RO
    ; An earlier version goes first, by its own uninstaller (which keeps the settings), so
    ; that no file of it stays behind and one entry remains.
    ReadRegStr $R0 SHCTX "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $R0 != ""
    ${AndIf} ${FileExists} "$R0\uninstall.exe"
        ExecWait '"$R0\uninstall.exe" /S _?=$R0'
        Delete "$R0\uninstall.exe"
        RMDir "$R0"
    ${EndIf}

    SetOutPath "$INSTDIR"
    !include "${FILES}"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    ; A shortcut starts in the folder last set as the output path.
    SetOutPath "$INSTDIR"
    CreateShortCut "$SMPROGRAMS\${APP}.lnk" "$INSTDIR\tolvane.exe" "" "$INSTDIR\tolvane.exe" 0

    ; 「プログラムから開く」 for .csv, .txt and .tsv: listed there, never made the default.
    WriteRegStr SHCTX "Software\Classes\${PROGID}" "" "$(TypeName)"
    WriteRegStr SHCTX "Software\Classes\${PROGID}\DefaultIcon" "" "$INSTDIR\tolvane.exe,0"
    WriteRegStr SHCTX "Software\Classes\${PROGID}\shell\open\command" "" '"$INSTDIR\tolvane.exe" "%1"'
    WriteRegStr SHCTX "Software\Classes\Applications\tolvane.exe" "FriendlyAppName" "${APP}"
    WriteRegStr SHCTX "Software\Classes\Applications\tolvane.exe\shell\open\command" "" '"$INSTDIR\tolvane.exe" "%1"'
    !insertmacro OpenWith .csv
    !insertmacro OpenWith .txt
    !insertmacro OpenWith .tsv
    System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'

    ; Apps & features / プログラムと機能
    ${If} $AllUsers == 1
        StrCpy $R1 "/ALLUSERS"
    ${Else}
        StrCpy $R1 "/CURRENTUSER"
    ${EndIf}
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${APP}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\tolvane.exe,0"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" $R1'
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S $R1'
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $R2 $R3 $R4
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $R2
SectionEnd

Section /o "$(DesktopSection)" SecDesktop
    SetOutPath "$INSTDIR"
    CreateShortCut "$DESKTOP\${APP}.lnk" "$INSTDIR\tolvane.exe" "" "$INSTDIR\tolvane.exe" 0
SectionEnd

!macro ForgetOpenWith ext
    DeleteRegValue SHCTX "Software\Classes\${ext}\OpenWithProgids" "${PROGID}"
    DeleteRegKey /ifempty SHCTX "Software\Classes\${ext}\OpenWithProgids"
    DeleteRegKey /ifempty /ifnovalues SHCTX "Software\Classes\${ext}"
!macroend

Section "un.${APP}" UnSecProgram
    SectionIn RO
    !include "${REMOVE}"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    Delete "$SMPROGRAMS\${APP}.lnk"
    Delete "$DESKTOP\${APP}.lnk"
    !insertmacro ForgetOpenWith .csv
    !insertmacro ForgetOpenWith .txt
    !insertmacro ForgetOpenWith .tsv
    DeleteRegKey SHCTX "Software\Classes\${PROGID}"
    DeleteRegKey SHCTX "Software\Classes\Applications\tolvane.exe"
    DeleteRegKey SHCTX "${UNINSTALL_KEY}"
    System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd

Section /o "un.$(SettingsSection)" SecSettings
    ; The settings are the user's own, wherever the program was installed.
    SetShellVarContext current
    RMDir /r "$APPDATA\${APP}"
SectionEnd

Function un.onInit
    SetRegView 64
    Call un.ChooseMode
    ${GetParameters} $R0
    ClearErrors
    ${GetOptions} $R0 "/REMOVESETTINGS" $R2
    ${IfNot} ${Errors}
        !insertmacro SelectSection ${SecSettings}
    ${EndIf}
FunctionEnd

!insertmacro MUI_UNFUNCTION_DESCRIPTION_BEGIN
    !insertmacro MUI_DESCRIPTION_TEXT ${SecSettings} $(SettingsText)
!insertmacro MUI_UNFUNCTION_DESCRIPTION_END
