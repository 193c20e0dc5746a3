#include "console/ScanCommandLine.h"

#include "console/TemplateFile.h"

const wchar_t kScanUsage[] =
    L"Usage: SorvikScan FOLDER [--pattern PATTERN] [--owner]\n"
    L"                  [--database CONNECTION (--sql TEMPLATE | --sql-file FILE)] [--on-error stop|continue]\n"
    L"                  [--list csv|jsonl] [--help]\n"
    L"Walks FOLDER and its sub-folders for files matching PATTERN (default *.*), as the Sorvik dialog does.\n"
    L"  --owner            look up each file's owner\n"
    L"  --database CONN    an ODBC connection string, or DSN=name; one statement per file on it\n"
    L"  --sql TEMPLATE     the statement, with {FileTitle}, {FilePath} ... {FileOwner} placeholders\n"
    L"  --sql-file FILE    the statement, from a UTF-8 file\n"
    L"  --on-error stop    end the walk at a failed statement (the default); continue: go on\n"
    L"  --list csv|jsonl   every file on standard output (csv is the default without --database)\n"
    L"Warnings, errors and a closing summary go to standard error.\n"
    L"Exit codes: 0 everything listed and written, 1 finished with warnings or failed statements skipped,\n"
    L"2 command line, 4 the database could not be opened, 5 ended at a database error, 130 interrupted.\n";

namespace {

// An option's value, following it or after "=".
bool TakeValue(int argc, const wchar_t* const* argv, int& i, const std::wstring& inlineValue, bool hasInline,
               std::wstring& value)
{
    if (hasInline) {
        value = inlineValue;
        return true;
    }
    if (i + 1 >= argc)
        return false;
    value = argv[++i];
    return true;
}

}  // namespace

bool ParseScanCommand(int argc, const wchar_t* const* argv, ScanCommand& command, std::wstring& error)
{
    std::wstring onError = L"stop";
    std::wstring list;
    bool listGiven = false;
    bool sqlGiven = false;
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        if (arg.size() < 2 || arg.compare(0, 2, L"--") != 0) {
            if (!command.folder.empty()) {
                error = L"Only one folder can be walked: " + arg;
                return false;
            }
            if (arg.empty()) {
                error = L"The folder is empty text.";
                return false;
            }
            command.folder = arg;
            continue;
        }
        const size_t equals = arg.find(L'=');
        const bool hasInline = equals != std::wstring::npos;
        const std::wstring name = arg.substr(0, equals);
        const std::wstring inlineValue = hasInline ? arg.substr(equals + 1) : std::wstring();
        if (name == L"--help" && !hasInline) {
            command.help = true;
            return true;
        }
        if (name == L"--owner" && !hasInline) {
            command.owner = true;
            continue;
        }
        std::wstring* target = name == L"--pattern"    ? &command.pattern
                               : name == L"--database" ? &command.connection
                               : name == L"--sql"      ? &command.sql
                               : name == L"--sql-file" ? &command.sqlFile
                               : name == L"--on-error" ? &onError
                               : name == L"--list"     ? &list
                                                       : nullptr;
        if (!target) {
            error = L"Unknown option " + arg;
            return false;
        }
        if (!TakeValue(argc, argv, i, inlineValue, hasInline, *target)) {
            error = name + L" needs a value";
            return false;
        }
        sqlGiven = sqlGiven || name == L"--sql";
        listGiven = listGiven || name == L"--list";
    }

    if (command.folder.empty()) {
        error = L"No folder to walk.";
        return false;
    }
    if (command.pattern.empty()) {
        error = L"The pattern is empty text.";
        return false;
    }
    if (onError != L"stop" && onError != L"continue") {
        error = L"--on-error takes stop or continue, not " + onError;
        return false;
    }
    command.continueOnError = onError == L"continue";
    if (listGiven && list != L"csv" && list != L"jsonl") {
        error = L"--list takes csv or jsonl, not " + list;
        return false;
    }
    const bool templateGiven = sqlGiven || !command.sqlFile.empty();
    if (sqlGiven && !command.sqlFile.empty()) {
        error = L"Give the template with --sql or with --sql-file, not both.";
        return false;
    }
    if (templateGiven != !command.connection.empty()) {
        error = templateGiven ? L"A template needs --database: where should its statements go?"
                              : L"--database needs a template: --sql or --sql-file.";
        return false;
    }
    if (!command.sqlFile.empty() && !ReadTemplateFile(command.sqlFile, command.sql, error))
        return false;
    if (templateGiven && command.sql.empty()) {
        error = L"The template is empty: it would write nothing.";
        return false;
    }
    command.list = list == L"jsonl"                          ? ListFormat::Jsonl
                   : list == L"csv" || command.connection.empty() ? ListFormat::Csv
                                                                  : ListFormat::None;
    return true;
}
