; The benchmark's peer: a generic NSIS installer doing the installer's job on the same machine,
; in the same order, from the installer's folder: silently (peer.exe /S /NCRC), or with its own
; progress window that closes itself at the end (peer.exe /NCRC). It reads the
; same startKestrel.INI, writes the same registry values and the same 82 files (stored, as the
; installer's payload is), starts regsvr32.exe for the same two DLLs, copies the application and
; places the same three links. tools/bench.py builds it with makensis:
;   makensis -DTARGET=amd64-unicode -DTABLES=peer-tables.nsh -DOUTFILE=peer.exe peer.nsi
; TABLES is generated from the installer's own tables (benchdrv tables): the registry values
; (WriteRegStr lines) and the payload rows (File lines, SetOverwrite off for a kept row).
Unicode true
Target ${TARGET}
SetCompress off
CRCCheck off
SilentInstall normal
AutoCloseWindow true
RequestExecutionLevel admin
Name "Kestrel (peer)"
OutFile "${OUTFILE}"

; With the window: the progress page alone, as the installer's /SILENT shows its run.
Page instfiles

!include "FileFunc.nsh"

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

  ; Registry values, then the payload rows (SetOutPath creates the folders).
  CreateDirectory $LocalFolder
  !include "${TABLES}"

  ; The two COM registrations, started and not waited for, as the installer does.
  Exec '"$SYSDIR\regsvr32.exe" capicom.dll /s'
  Exec '"$SYSDIR\regsvr32.exe" msxml5.dll /s'

  CopyFiles /SILENT $RemoteApp $LocalApp

  ; The links: target the launcher on the server, working directory the local folder.
  SetOutPath $LocalFolder
  SetShellVarContext all
  CreateShortCut "$DESKTOP\Kestrel.lnk" $Launcher
  CreateDirectory "$SMPROGRAMS\Tavrin"
  CreateShortCut "$SMPROGRAMS\Tavrin\Kestrel.lnk" $Launcher
  SetShellVarContext current
  CreateShortCut "$QUICKLAUNCH\Kestrel.lnk" $Launcher
SectionEnd
