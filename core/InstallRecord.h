// What the installations placed on this machine, kept for the uninstall: the record below
// HKEY_LOCAL_MACHINE\SOFTWARE\Tavrin\Kestrel\Instalacao, one subkey per kind of thing, one value
// per thing (its path or name); the counts of shared files in SharedDLLs; and the completion
// mark, the Programs and Features entry. All three in the registry view of a 32-bit program.
// Each thing is recorded when it is placed, so a run stopped half-way leaves a record of what it
// did. The uninstall removes only what is recorded.
#pragma once
#include <string>
#include <vector>

#include "platform/Folders.h"

// The kinds of things recorded; each is a subkey of the record.
enum class Recorded {
    Links,        // "Atalhos": link files placed
    Folders,      // "Pastas": folders that did not exist before an installation made them
    Keys,         // "Chaves": registry keys (below HKEY_LOCAL_MACHINE) made the same way
    Files,        // "Arquivos": payload files counted in SharedDLLs (once per machine)
    OdbcDrivers,  // "Drivers ODBC": drivers whose UsageCount was raised (once per machine)
    Program,      // "Programa": the application's copy at LocalApp
};

constexpr const char* kRecordKey = "SOFTWARE\\Tavrin\\Kestrel\\Instalacao";

void Record(Recorded kind, const std::string& item);
bool IsRecorded(Recorded kind, const std::string& item);
std::vector<std::string> RecordedItems(Recorded kind);
void Unrecord(Recorded kind, const std::string& item);
// The record's keys, and "SOFTWARE\Tavrin\Kestrel" and "SOFTWARE\Tavrin" when left empty.
void RemoveRecord();

// How the folders a run creates are protected: as their parent lets them inherit, or as a
// program-files folder (only administrators may write there).
enum class FolderProtection { Inherited, ProgramFiles };
// Ensure-directory of path with the check and the hold of platform/Folders.h: on success folder
// holds the path, every folder of it the real one, and each folder it made is recorded. ""
// raises EInOutError("Unable to create directory"). False when a folder of the path fails the
// check (a link, a file in its place, a folder of another user where only administrators may
// write, one that cannot be made); folder.Problem() says which and what was found.
bool HoldRecordedFolder(HeldFolder& folder, const std::string& path,
                        FolderProtection protection = FolderProtection::Inherited);
// Before the key is made: the key and its parents that do not exist yet are recorded.
void RecordMissingKeys(const std::string& path);

// The recorded keys that are empty now (no values, no subkeys), deepest first; they leave the
// record, the others stay in it.
void RemoveEmptyRecordedKeys();
// The recorded folders that are empty now, deepest first. A folder that still holds one of
// waiting (files that go at the next restart) goes at the restart after them. Each leaves the
// record.
void RemoveRecordedFolders(const std::vector<std::string>& waiting);

// --- Shared files (HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\SharedDLLs) -------------
// A value per file, named by its full path, holding how many installed products use it.

constexpr const char* kSharedDllsKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

// The file's count (0 without a value).
unsigned long SharedCount(const std::string& path);
// Counts Kestrel's use of the file once per machine, before the file is written: the count is
// raised by one, and by one more when the file is there already without any count (someone
// else put it there, and keeps using it). Nothing when the record has the file already.
void CountSharedFile(const std::string& path);
// CountSharedFile for each path, with the two keys opened once for all.
void CountSharedFiles(const std::vector<std::string>& paths);
// Gives up Kestrel's use of a recorded file: true when nobody uses it any more (the count
// reached 0 and its value is gone); false when others still count it. The file leaves the
// record either way.
bool ReleaseSharedFile(const std::string& path);

// --- The completion mark: HKLM\...\Uninstall\Kestrel ---------------------------------------

constexpr const char* kUninstallKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kestrel";

struct UninstallEntry {
    std::string DisplayVersion;
    std::string InstallLocation;
    unsigned long EstimatedSizeKb = 0;
    std::string Uninstaller;  // the uninstaller's full path
};

// Written as the very last step of a finished installation.
void WriteUninstallEntry(const UninstallEntry& entry);
bool UninstallEntryExists();
// The entry's DisplayVersion ("" without an entry).
std::string InstalledVersion();
void RemoveUninstallEntry();
