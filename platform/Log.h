// The installation log asked for on the command line: one file, created new when it is opened,
// ANSI text with CRLF line ends, one line per event, each led by the local date and time. Every
// part of the program may write to it; while no log is open a line goes nowhere, so code that
// logs needs to know nothing about whether a log was asked for.
#pragma once
#include <windows.h>

#include <string>

// The log never follows or reuses what someone else put in its place (the installer often runs
// as SYSTEM, and %TEMP% is then C:\Windows\Temp, where every user may create files): a file is
// only ever created with CREATE_NEW and FILE_FLAG_OPEN_REPARSE_POINT, so that no existing file,
// hard link or link is opened through its name.

// The refusals of OpenLog, in *error: codes of the application's own (bit 29), never the system's.
constexpr DWORD kLogIsALink = 0x20000001;        // a symbolic link or junction (reparse point)
constexpr DWORD kLogHasOtherNames = 0x20000002;  // a file with more than one hard link

// The log at a name given by the user. An existing file there is refused when it is a link or
// has other hard links (a planted link would have the log overwrite its target); any other file is
// deleted through the handle it was looked at by, and a new one created in its place (one planted
// there would keep its planter's rights). The file is readable by others while it is open. False, with the error code in
// *error (the system's, or one of the two above), when it cannot be created; no log is open then.
bool OpenLog(const std::string& path, DWORD* error = nullptr);
// A new log in folder (with its trailing backslash) at a name nobody can tell ahead: the local
// date and time and a random number (NewLogName), made with CREATE_NEW; a name taken by anything
// (a file, a link, a folder) is passed over, never opened, and another number drawn. (Names that
// could be told ahead, a counter of the day, could all be taken beforehand by any user of a
// folder such as C:\Windows\Temp.)
bool OpenNewLog(const std::string& folder, DWORD* error = nullptr);
// "InstaladorKestrel 2024-05-01 140322 0A1B2C3D.log": the date, the time, the number in hex.
std::string NewLogName(const SYSTEMTIME& time, DWORD number);
// The text for an error code of OpenLog or OpenNewLog: the two refusals in Portuguese, else the
// system's text.
std::string LogErrorText(DWORD error);
// Closes the log; later lines go nowhere.
void CloseLog();
bool LogIsOpen();
// The full path of the open log ("" when none).
std::string LogPath();

// Writes one line: the time, two blanks, the text. Line breaks inside the text become " | ", so
// that every event stays one line. A write that fails is not reported (it could only be told to
// a person, and the run must not wait for one).
void Log(const std::string& text);

// One line as Log writes it: "2024-05-01 14:03:22.123  text" and CRLF.
std::string LogLine(const SYSTEMTIME& time, const std::string& text);

// %TEMP% with its trailing backslash: the folder of the log when the command line names no file
// (C:\Windows\Temp when run as SYSTEM).
std::string DefaultLogFolder();
