// The catalogue of the 82 vendor files that the installer carries: where each one goes, under
// which name, and whether an existing copy is kept. Row r is also the number of the embedded
// RT_RCDATA blob that holds the file's bytes.
#pragma once
#include <array>
#include <string>

#include "core/InstallContext.h"

// The InstallContext directory a file goes into.
enum class PayloadBase { BdeDir, OdbcDir, SystemDir };

struct PayloadEntry {
    int Row;                 // 1 to 82: blob number and order of writing
    PayloadBase Base;
    const char* FileName;    // with its leading backslash, case as the vendor ships it
    unsigned long Bytes;     // size of the vendor file the installer is built with; the run
                             // never looks at it (the build checks and reports it)
    bool KeepIfPresent;      // written only when no file of that name exists yet
};

extern const std::array<PayloadEntry, kPayloadRows> PayloadTable;

// The context directory named by base, as it is at the moment of the call.
const std::string& PayloadBaseDir(const InstallContext& context, PayloadBase base);
