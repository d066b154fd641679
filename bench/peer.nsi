; The benchmark's peers: generic NSIS installers doing the installer's job on the same machine,
; in the same order, from the installer's folder: silently (peer.exe /S /NCRC), or with its own
; progress window that closes itself at the end (peer.exe /NCRC). Each reads the same
; startKestrel.INI, writes the same registry values and the same 82 files (stored, as the
; installer's payload is), registers the same two DLLs with regsvr32.exe, copies the application
; and places the same three links. tools/bench.py builds them with makensis:
;   makensis -DTARGET=amd64-unicode -DTABLES=peer-tables.nsh -DOUTFILE=peer.exe peer.nsi
;   makensis ... -DGUARANTEES -DOUTFILE=peer-guarantees.exe peer.nsi
; Without GUARANTEES: the job alone (each file written in place, regsvr32.exe started and not
; waited for). With GUARANTEES, the same job with the installer's guarantees: each file written
; under a new name in its folder and moved in once whole (Rename; MoveFileEx over a file that is
; there), the shared files counted in SharedDLLs and the drivers' UsageCount raised once per
; machine (the record of what was counted, as the installer keeps it), both regsvr32.exe waited
; for, an uninstaller written (WriteUninstaller, also moved in), every file written flushed
; (FlushFileBuffers through the System plugin) and the Programs and Features entry written last.
; Exit code 0; 5 when a registration failed; an error aborts (2).
; TABLES is generated from the installer's own tables (benchdrv tables): macros for the registry
; values (VALUES), the payload rows written in place (ROWS) or beside (ROWS_BESIDE), their counts
; (COUNTS, DRIVERS), their flush (FLUSH_ROWS) and PAYLOAD_BYTES, what the rows weigh.
Unicode true
Target ${TARGET}
SetCompress off
CRCCheck off
SilentInstall normal
AutoCloseWindow true
RequestExecutionLevel admin
!ifdef GUARANTEES
Name "Kestrel (peer with the installer's guarantees)"
!else
Name "Kestrel (peer)"
!endif
OutFile "${OUTFILE}"

; With the window: the progress page alone, as the installer's /SILENT shows its run.
Page instfiles

!include "FileFunc.nsh"

!define RECORD "SOFTWARE\Tavrin\Kestrel\Instalacao"
!define SHAREDDLLS "SOFTWARE\Microsoft\Windows\CurrentVersion\SharedDLLs"
!define UNINSTALL "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Kestrel"

Var SystemDrive
Var BdeDir
Var OdbcDir
Var LocalApp
Var LocalFolder
Var RemoteApp
Var RemoteFolder
Var IPServidor
Var Porta
Var BancoDados
Var Launcher
Var Warning

!ifdef GUARANTEES
; $R0 a new file beside its destination $R1, which it replaces.
Function PutInPlace
  IfFileExists $R1 replace
  ClearErrors
  Rename $R0 $R1
  IfErrors failed
  Return
replace:
  System::Call 'kernel32::MoveFileExW(w R0, w R1, i 1) i .r9'
  IntCmp $9 0 failed
  Return
failed:
  Abort "cannot put $R1 in place"
FunctionEnd

; The bytes of $R1 on the disk.
Function FlushFile
  System::Call 'kernel32::CreateFileW(w R1, i 0x40000000, i 7, p 0, i 3, i 0, p 0) p .r9'
  IntPtrCmp $9 -1 failed
  System::Call 'kernel32::FlushFileBuffers(p r9) i .r8'
  System::Call 'kernel32::CloseHandle(p r9)'
  IntCmp $8 0 failed
  Return
failed:
  Abort "cannot flush $R1"
FunctionEnd

; $R1 a payload file's destination, counted once per machine before it is written: raised by
; one, and by one more when a file is there without a count (someone else's).
Function CountShared
  SetRegView 32
  ClearErrors
  ReadRegDWORD $9 HKLM "${RECORD}\Arquivos" $R1
  IfErrors 0 done
  ReadRegDWORD $9 HKLM "${SHAREDDLLS}" $R1
  IntOp $9 $9 + 0
  IntCmp $9 0 0 raise raise
  IfFileExists $R1 0 raise
  IntOp $9 $9 + 1
raise:
  IntOp $9 $9 + 1
  WriteRegDWORD HKLM "${SHAREDDLLS}" $R1 $9
  WriteRegDWORD HKLM "${RECORD}\Arquivos" $R1 1
done:
  SetRegView default
FunctionEnd

; $R1 a driver's key, $R2 the driver: its UsageCount raised once per machine.
Function CountDriver
  SetRegView 32
  ClearErrors
  ReadRegDWORD $9 HKLM "${RECORD}\Drivers ODBC" $R2
  IfErrors 0 done
  WriteRegDWORD HKLM "${RECORD}\Drivers ODBC" $R2 1
  SetRegView default
  ReadRegDWORD $9 HKLM $R1 "UsageCount"
  IntOp $9 $9 + 1
  WriteRegDWORD HKLM $R1 "UsageCount" $9
done:
  SetRegView default
FunctionEnd

; The size of $R1 in bytes, in $9.
Function SizeOf
  FileOpen $8 $R1 r
  FileSeek $8 0 END $9
  FileClose $8
FunctionEnd

; $R1 a registration's DLL: regsvr32.exe waited for, a warning unless it ends with 0.
Function Register
  ExecWait '"$SYSDIR\regsvr32.exe" $R1 /s' $9
  IntCmp $9 0 +2
    StrCpy $Warning 1
FunctionEnd
!endif

!include "${TABLES}"

Section
  ; The settings and the places the installer derives from them.
  ReadINIStr $LocalApp "$EXEDIR\startKestrel.INI" "Application" "LocalApp"
  ReadINIStr $RemoteApp "$EXEDIR\startKestrel.INI" "Application" "RemoteApp"
  ReadINIStr $IPServidor "$EXEDIR\startKestrel.INI" "Instalacao" "IPServidor"
  ReadINIStr $Porta "$EXEDIR\startKestrel.INI" "Instalacao" "Porta"
  ReadINIStr $BancoDados "$EXEDIR\startKestrel.INI" "Instalacao" "BancoDados"
  StrCpy $SystemDrive $SYSDIR 2
  ; LocalApp goes to the system drive: its own drive (what stands before the first "\") is
  ; replaced, as the installer does.
  ${GetRoot} $LocalApp $0
  StrLen $0 $0
  StrCpy $LocalApp $LocalApp "" $0
  StrCpy $LocalApp "$SystemDrive$LocalApp"
  ${GetParent} $LocalApp $LocalFolder
  ${GetParent} $RemoteApp $RemoteFolder
  StrCpy $Launcher "$RemoteFolder\StartKestrel.exe"
  StrCpy $BdeDir "$SystemDrive\Arquivos de Programas\Arquivos Comuns\Borland Shared\BDE"
  StrCpy $OdbcDir "$SystemDrive\Arquivos de programas\PostgreSQL\psqlODBC\0804\bin"
  ReadRegStr $0 HKLM "SOFTWARE\Borland\Database Engine" "DLLPATH"
  StrCmp $0 "" +2
    StrCpy $BdeDir $0
  StrCpy $Warning 0

  ; Registry values, then the payload rows (SetOutPath creates the folders).
  CreateDirectory $LocalFolder
!ifdef GUARANTEES
  !insertmacro COUNTS
  !insertmacro VALUES
  !insertmacro DRIVERS
  !insertmacro ROWS_BESIDE
  ; The two COM registrations, waited for.
  StrCpy $R1 capicom.dll
  Call Register
  StrCpy $R1 msxml5.dll
  Call Register
  StrCpy $R0 "$LocalFolder\~kpeer.tmp"
  StrCpy $R1 $LocalApp
  CopyFiles /SILENT $RemoteApp $R0
  Call PutInPlace
!else
  !insertmacro VALUES
  !insertmacro ROWS
  ; The two COM registrations, started and not waited for, as the installer does with a window.
  Exec '"$SYSDIR\regsvr32.exe" capicom.dll /s'
  Exec '"$SYSDIR\regsvr32.exe" msxml5.dll /s'
  CopyFiles /SILENT $RemoteApp $LocalApp
!endif

  ; The links: target the launcher on the server, working directory the local folder.
  SetOutPath $LocalFolder
  SetShellVarContext all
  CreateShortCut "$DESKTOP\Kestrel.lnk" $Launcher
  CreateDirectory "$SMPROGRAMS\Tavrin"
  CreateShortCut "$SMPROGRAMS\Tavrin\Kestrel.lnk" $Launcher
!ifdef GUARANTEES
  StrCpy $R1 "$DESKTOP\Kestrel.lnk"
  Call FlushFile
  StrCpy $R1 "$SMPROGRAMS\Tavrin\Kestrel.lnk"
  Call FlushFile
!endif
  SetShellVarContext current
  CreateShortCut "$QUICKLAUNCH\Kestrel.lnk" $Launcher

!ifdef GUARANTEES
  StrCpy $R1 "$QUICKLAUNCH\Kestrel.lnk"
  Call FlushFile
  ; The uninstaller, in its folder below the program-files folder of a 32-bit program (on 64-bit
  ; Windows "Program Files (x86)", which the environment names).
  ReadEnvStr $5 "ProgramFiles(x86)"
  StrCmp $5 "" 0 +2
    StrCpy $5 $PROGRAMFILES
  StrCpy $5 "$5\Tavrin\Kestrel\Desinstalar"
  CreateDirectory $5
  StrCpy $R0 "$5\~kpeer.tmp"
  StrCpy $R1 "$5\DesinstalarKestrel.exe"
  WriteUninstaller $R0
  Call PutInPlace
  Call FlushFile
  Call SizeOf
  IntOp $6 ${PAYLOAD_BYTES} + $9
  StrCpy $R1 $LocalApp
  Call FlushFile
  Call SizeOf
  IntOp $6 $6 + $9
  IntOp $6 $6 + 1023
  IntOp $6 $6 / 1024
  !insertmacro FLUSH_ROWS

  ; The completion mark, last.
  ${GetTime} "" "L" $0 $1 $2 $3 $4 $7 $8
  SetRegView 32
  WriteRegStr HKLM "${UNINSTALL}" "DisplayName" "Kestrel"
  WriteRegStr HKLM "${UNINSTALL}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL}" "Publisher" "Tavrin"
  WriteRegStr HKLM "${UNINSTALL}" "InstallDate" "$2$1$0"
  WriteRegStr HKLM "${UNINSTALL}" "InstallLocation" $LocalFolder
  WriteRegDWORD HKLM "${UNINSTALL}" "EstimatedSize" $6
  WriteRegStr HKLM "${UNINSTALL}" "DisplayIcon" "$5\DesinstalarKestrel.exe,0"
  WriteRegDWORD HKLM "${UNINSTALL}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL}" "NoRepair" 1
  WriteRegStr HKLM "${UNINSTALL}" "UninstallString" '"$5\DesinstalarKestrel.exe" /UNINSTALL'
  WriteRegStr HKLM "${UNINSTALL}" "QuietUninstallString" '"$5\DesinstalarKestrel.exe" /UNINSTALL /VERYSILENT'
  SetRegView default
  StrCmp $Warning 1 0 +2
    SetErrorLevel 5
!endif
SectionEnd

!ifdef GUARANTEES
Section "Uninstall"
SectionEnd
!endif
