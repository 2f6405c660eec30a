; The Camtag installer: puts fl-Camtag.prm and Camtag.chm into the plug-ins folder of a Premiere
; host and registers an uninstaller. The 32-bit build ships; the amd64 build of the same script is
; what the tests run under wine64.
;   makensis -DARCH=x86|amd64 -DMODULE=fl-Camtag.prm -DHELP=Camtag.chm -DLICENSE=LICENSE
;            -DOUTFILE=Camtag-setup.exe Camtag.nsi
; The version is the module's own version resource, read here from the file that is packed.

Unicode true
!if "${ARCH}" == "amd64"
  Target amd64-unicode
!else if "${ARCH}" == "x86"
  Target x86-unicode
!else
  !error "ARCH must be x86 or amd64"
!endif

!getdllversion "${MODULE}" CAMTAG_V
!define VERSION "${CAMTAG_V1}.${CAMTAG_V2}.${CAMTAG_V3}.${CAMTAG_V4}"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Camtag"
!define UNINSTALLER "Camtag-uninstall.exe"

Name "Camtag ${VERSION}"
OutFile "${OUTFILE}"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "Camtag"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "Camtag ${VERSION} installer"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) the Camtag developers"

!include MUI2.nsh
!include nsDialogs.nsh
!include LogicLib.nsh
!include WordFunc.nsh

!define MUI_ABORTWARNING
!define MUI_WELCOMEPAGE_TEXT "This puts the Camtag video filter and its help into the plug-ins folder of Adobe Premiere Pro.$\r$\n$\r$\nCamtag is a 32-bit filter: it works in the 32-bit Premiere Pro versions up to CS3 (CS4 loads it with timecodes only). Close Premiere Pro before you go on."
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${LICENSE}"
Page custom HostPage HostPageLeave
!define MUI_DIRECTORYPAGE_TEXT_TOP "Camtag goes into the folder in which the host looks for its plug-ins (the one that holds other .prm files). Change it if your host is installed elsewhere."
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "Plug-ins folder"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; The plug-ins folders of the hosts that load 32-bit filters, where they install by default.
; Only those found on this computer are offered.
Var HostName1
Var HostName2
Var HostName3
Var HostName4
Var HostName5
Var HostName6
Var HostDir1
Var HostDir2
Var HostDir3
Var HostDir4
Var HostDir5
Var HostDir6
Var Found        ; how many of them exist
Var HostPrograms ; where 32-bit programs are installed
Var Radio1
Var Radio2
Var Radio3
Var Radio4
Var Radio5
Var Radio6

!macro Candidate NAME DIR
  ${If} ${FileExists} "${DIR}\*.*"
    IntOp $Found $Found + 1
    ${Select} $Found
    ${Case} 1
      StrCpy $HostName1 "${NAME}"
      StrCpy $HostDir1 "${DIR}"
    ${Case} 2
      StrCpy $HostName2 "${NAME}"
      StrCpy $HostDir2 "${DIR}"
    ${Case} 3
      StrCpy $HostName3 "${NAME}"
      StrCpy $HostDir3 "${DIR}"
    ${Case} 4
      StrCpy $HostName4 "${NAME}"
      StrCpy $HostDir4 "${DIR}"
    ${Case} 5
      StrCpy $HostName5 "${NAME}"
      StrCpy $HostDir5 "${DIR}"
    ${Case} 6
      StrCpy $HostName6 "${NAME}"
      StrCpy $HostDir6 "${DIR}"
    ${EndSelect}
  ${EndIf}
!macroend

Function .onInit
  !if "${ARCH}" == "amd64"
    SetRegView 64
  !endif
  StrCpy $Found 0
  ; 32-bit hosts live in the 32-bit program folder (Program Files (x86) on 64-bit Windows). A
  ; 64-bit installer's $PROGRAMFILES32 names the 64-bit one: ask the environment there.
  StrCpy $HostPrograms $PROGRAMFILES32
  !if "${ARCH}" == "amd64"
    ReadEnvStr $0 "ProgramFiles(x86)"
    ${If} $0 != ""
      StrCpy $HostPrograms $0
    ${EndIf}
  !endif
  !insertmacro Candidate "Adobe Premiere Pro CS3" "$HostPrograms\Adobe\Adobe Premiere Pro CS3\Plug-ins"
  !insertmacro Candidate "Adobe Premiere Pro 2.0" "$HostPrograms\Adobe\Premiere Pro 2.0\Plug-ins"
  !insertmacro Candidate "Adobe Premiere Pro 1.5" "$HostPrograms\Adobe\Premiere Pro 1.5\Plug-ins"
  !insertmacro Candidate "Adobe Premiere Pro 1.0" "$HostPrograms\Adobe\Premiere Pro\Plug-ins"
  !insertmacro Candidate "Adobe Premiere Pro CS4 (timecodes only)" "$HostPrograms\Adobe\Common\Plug-ins\CS4\MediaCore"
  !insertmacro Candidate "Adobe Premiere Pro CS4 (timecodes only)" "$HostPrograms\Adobe\Adobe Premiere Pro CS4\Plug-ins"
  ; A folder given with /D stands; else the folder of an earlier installation, else the first
  ; host found.
  ${If} $INSTDIR == ""
    ReadRegStr $INSTDIR HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${EndIf}
  ${If} $INSTDIR == ""
  ${AndIf} $Found > 0
    StrCpy $INSTDIR $HostDir1
  ${EndIf}
  ${If} $INSTDIR == ""
    StrCpy $INSTDIR "$HostPrograms\Adobe\Premiere Pro 2.0\Plug-ins"
  ${EndIf}
FunctionEnd

!macro HostChoice N
  ${If} $Found >= ${N}
    ${NSD_CreateRadioButton} 0 $2u 100% 20u "$HostName${N}$\r$\n$HostDir${N}"
    Pop $Radio${N}
    ${NSD_AddStyle} $Radio${N} ${BS_MULTILINE}
    ${If} $HostDir${N} == $INSTDIR
      ${NSD_Check} $Radio${N}
      StrCpy $3 1
    ${EndIf}
    IntOp $2 $2 + 24
  ${EndIf}
!macroend

!macro HostChosen N
  ${If} $Found >= ${N}
    ${NSD_GetState} $Radio${N} $0
    ${If} $0 == ${BST_CHECKED}
      StrCpy $INSTDIR $HostDir${N}
    ${EndIf}
  ${EndIf}
!macroend

Function HostPage
  ${If} $Found == 0
    Abort ; nothing found: the folder page asks
  ${EndIf}
  !insertmacro MUI_HEADER_TEXT "Host" "Choose the Premiere Pro whose plug-ins folder gets Camtag."
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 20u "These hosts were found on this computer. The next page shows the folder and lets you choose any other."
  Pop $0
  StrCpy $2 24 ; top of the next button, in dialog units
  StrCpy $3 0  ; whether a host's folder is the one chosen so far
  !insertmacro HostChoice 1
  !insertmacro HostChoice 2
  !insertmacro HostChoice 3
  !insertmacro HostChoice 4
  !insertmacro HostChoice 5
  !insertmacro HostChoice 6
  ${NSD_CreateRadioButton} 0 $2u 100% 12u "Another folder"
  Pop $0
  ${If} $3 == 0
    ${NSD_Check} $0
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function HostPageLeave
  !insertmacro HostChosen 1
  !insertmacro HostChosen 2
  !insertmacro HostChosen 3
  !insertmacro HostChosen 4
  !insertmacro HostChosen 5
  !insertmacro HostChosen 6
FunctionEnd

Section "Camtag"
  ; Never replace a newer module unasked (a silent install keeps it and fails).
  ${If} ${FileExists} "$INSTDIR\fl-Camtag.prm"
    ClearErrors
    GetDLLVersion "$INSTDIR\fl-Camtag.prm" $R0 $R1
    ${IfNot} ${Errors}
      IntOp $R2 $R0 >> 16
      IntOp $R3 $R0 & 0xFFFF
      IntOp $R4 $R1 >> 16
      IntOp $R5 $R1 & 0xFFFF
      StrCpy $R6 "$R2.$R3.$R4.$R5"
      ${VersionCompare} $R6 "${VERSION}" $R7
      ${If} $R7 == 1
        MessageBox MB_YESNO|MB_ICONEXCLAMATION "This folder holds a newer Camtag, version $R6:$\r$\n$INSTDIR$\r$\n$\r$\nReplace it with version ${VERSION}?" /SD IDNO IDYES replace
        Abort "Camtag $R6 is newer and stays installed."
        replace:
      ${EndIf}
    ${EndIf}
  ${EndIf}

  SetOutPath "$INSTDIR"
  File "/oname=fl-Camtag.prm" "${MODULE}"
  File "/oname=Camtag.chm" "${HELP}"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  !if "${ARCH}" == "amd64"
    SetRegView 64
  !endif
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Camtag ${VERSION} (video filter for Premiere Pro)"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The Camtag developers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Function un.onInit
  !if "${ARCH}" == "amd64"
    SetRegView 64
  !endif
FunctionEnd

Section "Uninstall"
  Delete "$INSTDIR\fl-Camtag.prm"
  Delete "$INSTDIR\Camtag.chm"
  Delete "$INSTDIR\${UNINSTALLER}"
  ; Only an empty folder goes: a host's plug-ins folder stays with its other plug-ins.
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
