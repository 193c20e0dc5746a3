#pragma once
// The console program's command line.
#include "console/ListingWriter.h"
#include "scan/ScanScope.h"

#include <string>
#include <vector>

struct ScanCommand {
    std::vector<CString> folders;  // walked in turn, into one listing and one connection
    std::wstring pattern = L"*.*";
    ScanScope scope;
    bool owner = false;
    bool hash = false;
    std::wstring connection;
    std::wstring sql;      // the template, given or read from sqlFile
    std::wstring sqlFile;
    // Run once on the connection: before the walk, and after a walk that
    // ended with kScanDone only.
    std::vector<std::wstring> opening;
    std::vector<std::wstring> closing;
    // A server that accepts the connection and never answers must not hold a
    // nightly task for ever.
    unsigned loginTimeoutSeconds = 30;
    // The longest a statement or a commit may wait for the server; 0: no limit.
    unsigned statementTimeoutSeconds = 600;
    // Files a transaction; 1 runs each statement as the dialog does.
    unsigned batchFiles = 1000;
    bool continueOnError = false;
    ListFormat list = ListFormat::None;
    bool byteOrderMark = false;  // first in the CSV, for a spreadsheet
    bool help = false;
};

// Each outcome its own code, so that a scheduled task's script can tell them
// apart.
enum ScanExitCode : int {
    kScanDone = 0,          // everything listed and written
    kScanWarnings = 1,      // finished with warnings, or failed statements skipped
    kScanBadCommand = 2,    // the command line (or the template file) was not understood
    kScanNoDatabase = 4,    // the database could not be opened
    kScanDatabaseError = 5, // ended at a database error
    kScanInterrupted = 130, // Ctrl+C, Ctrl+Break, the console closing, log-off or shut-down
};

extern const wchar_t kScanUsage[];

// False with a one-line message when the command line is not understood. A
// template file is read here, so that nothing starts with a template that
// cannot be.
bool ParseScanCommand(int argc, const wchar_t* const* argv, ScanCommand& command, std::wstring& error);
