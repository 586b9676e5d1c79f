; The Windows installer: both programs, the manual and the licence under
; Program Files, a Start-menu entry and an uninstaller, registered with
; Windows' list of installed programs. Made by scripts/windows.sh:
;   makensis -DVERSION=1.0.0.1 -DFILES=<folder> -DICON=<file.ico> -DOUTFILE=<setup.exe> installer.nsi
; A 64-bit installer, like the programs it installs.
Target amd64-unicode
SetCompressor /SOLID lzma
!include "MUI2.nsh"

!define KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\TesselWick"

Name "TesselWick"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\TesselWick"
InstallDirRegKey HKLM "Software\TesselWick" "InstallDir"
RequestExecutionLevel admin
BrandingText "TesselWick ${VERSION}"

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "TesselWick"
VIAddVersionKey /LANG=1033 "CompanyName" "TesselWick developers"
VIAddVersionKey /LANG=1033 "FileDescription" "TesselWick setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "TesselWick developers"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\tesselwick.exe"
!define MUI_FINISHPAGE_RUN_PARAMETERS "--user-folder"
!insertmacro MUI_PAGE_LICENSE "${FILES}\LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Function .onInit
  SetRegView 64
FunctionEnd

Section "TesselWick"
  SetOutPath "$INSTDIR"
  File "${FILES}\tesselwick.exe"
  File "${FILES}\tesselwick-submit.exe"
  File "${FILES}\manual.htm"
  File "${FILES}\LICENSE.txt"
  SetOutPath "$INSTDIR\locale\de\LC_MESSAGES"
  File "${FILES}\locale\de\LC_MESSAGES\tesselwick.mo"
  ; The notices of the libraries linked into the programs.
  SetOutPath "$INSTDIR\licences"
  File "${FILES}\licences\*.txt"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  ; Started from the menu, the program keeps its files in the user's
  ; application-data folder: Program Files is not for writing.
  SetShellVarContext all
  CreateShortCut "$SMPROGRAMS\TesselWick.lnk" "$INSTDIR\tesselwick.exe" "--user-folder" \
    "$INSTDIR\tesselwick.exe" 0 SW_SHOWNORMAL "" "Submit your PAD file to download sites"

  WriteRegStr HKLM "Software\TesselWick" "InstallDir" "$INSTDIR"
  WriteRegStr HKLM "${KEY}" "DisplayName" "TesselWick"
  WriteRegStr HKLM "${KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${KEY}" "Publisher" "TesselWick developers"
  WriteRegStr HKLM "${KEY}" "DisplayIcon" "$INSTDIR\tesselwick.exe"
  WriteRegStr HKLM "${KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  SetRegView 64
  SetShellVarContext all
  Delete "$SMPROGRAMS\TesselWick.lnk"
  Delete "$INSTDIR\tesselwick.exe"
  Delete "$INSTDIR\tesselwick-submit.exe"
  Delete "$INSTDIR\manual.htm"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\Uninstall.exe"
  Delete "$INSTDIR\locale\de\LC_MESSAGES\tesselwick.mo"
  RMDir "$INSTDIR\locale\de\LC_MESSAGES"
  RMDir "$INSTDIR\locale\de"
  RMDir "$INSTDIR\locale"
  Delete "$INSTDIR\licences\*.txt"
  RMDir "$INSTDIR\licences"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${KEY}"
  DeleteRegKey HKLM "Software\TesselWick"
SectionEnd
