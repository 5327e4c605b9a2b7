; lumaret.nsi - Windows installer of the gateway (i686 programs).
;   makensis -DBINDIR=<folder with the built programs> -DOUTFILE=<setup.exe> lumaret.nsi
; Installs Lumaret.exe, Tessiva.exe, dakora_da.dll, the proxy/stub
; dakora_ps.dll and the command-line OPC client opccli.exe, and in x64\ the
; 64-bit proxy/stub and client (from BINDIR\x64) for 64-bit OPC clients;
; registers each proxy/stub with the regsvr32 of its own bitness (it adds
; only interfaces that have no proxy yet) and the OPC server in both
; registry views ("Tessiva.exe -reg"); adds Start menu entries. The
; uninstaller undoes exactly that. "/S" runs either silently.
Unicode true
SetCompressor /SOLID lzma

!include "LogicLib.nsh"
!include "x64.nsh"

!ifndef BINDIR
  !error "BINDIR not defined"
!endif
!ifndef OUTFILE
  !define OUTFILE "LumaretSetup.exe"
!endif

!define PRODUCT "Lumaret"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Lumaret"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\${PRODUCT}"
RequestExecutionLevel admin
ShowInstDetails show
ShowUninstDetails show

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Install"
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File "${BINDIR}/Lumaret.exe"
  File "${BINDIR}/Tessiva.exe"
  File "${BINDIR}/dakora_da.dll"
  File "${BINDIR}/dakora_ps.dll"
  File "${BINDIR}/opccli.exe"
  SetOutPath "$INSTDIR\x64"
  File "${BINDIR}/x64/dakora_ps.dll"
  File "${BINDIR}/x64/opccli.exe"
  SetOutPath "$INSTDIR"

  ; Each proxy/stub leaves interfaces that already have a proxy alone.
  ExecWait '"$SYSDIR\regsvr32.exe" /s "$INSTDIR\dakora_ps.dll"' $0
  DetailPrint "32-bit proxy/stub registration: $0"
  ${If} ${RunningX64}
    ; SysNative: the 64-bit system folder, seen from this 32-bit installer.
    ExecWait '"$WINDIR\SysNative\regsvr32.exe" /s "$INSTDIR\x64\dakora_ps.dll"' $0
    DetailPrint "64-bit proxy/stub registration: $0"
  ${EndIf}

  ExecWait '"$INSTDIR\Tessiva.exe" -reg' $0
  DetailPrint "OPC server registration: $0"

  CreateDirectory "$SMPROGRAMS\${PRODUCT}"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk" "$INSTDIR\Lumaret.exe"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\Uninstall ${PRODUCT}.lnk" "$INSTDIR\uninstall.exe"

  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  SetShellVarContext all
  ; A running bridge would keep its files busy.
  nsExec::Exec 'taskkill /F /IM Tessiva.exe'
  Pop $0
  ExecWait '"$INSTDIR\Tessiva.exe" -unreg' $0
  DetailPrint "OPC server unregistration: $0"
  ; Removes only the interfaces that name our proxy/stub.
  ${If} ${RunningX64}
    ExecWait '"$WINDIR\SysNative\regsvr32.exe" /u /s "$INSTDIR\x64\dakora_ps.dll"' $0
  ${EndIf}
  ExecWait '"$SYSDIR\regsvr32.exe" /u /s "$INSTDIR\dakora_ps.dll"' $0

  Delete "$INSTDIR\Lumaret.exe"
  Delete "$INSTDIR\Tessiva.exe"
  Delete "$INSTDIR\dakora_da.dll"
  Delete "$INSTDIR\dakora_ps.dll"
  Delete "$INSTDIR\opccli.exe"
  Delete "$INSTDIR\x64\dakora_ps.dll"
  Delete "$INSTDIR\x64\opccli.exe"
  RMDir "$INSTDIR\x64"
  Delete "$INSTDIR\uninstall.exe"
  ; Settings, log and project file are the operator's: they stay, and so
  ; does the folder when they exist.
  RMDir "$INSTDIR"

  Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\Uninstall ${PRODUCT}.lnk"
  RMDir "$SMPROGRAMS\${PRODUCT}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
