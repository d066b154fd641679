// The installation log asked for on the command line: one file, created anew when it is opened,
// ANSI text with CRLF line ends, one line per event, each led by the local date and time. Every
// part of the program may write to it; while no log is open a line goes nowhere, so code that
// logs needs to know nothing about whether a log was asked for.
#pragma once
#include <windows.h>

#include <string>

// Creates the file (replacing one that is there), readable by others while it is open. False,
// with the system's error code in *error, when it cannot be created; no log is open then.
bool OpenLog(const std::string& path, DWORD* error = nullptr);
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

// %TEMP%\InstaladorKestrel.log: the log's place when the command line names none.
std::string DefaultLogPath();
