#include "console/ScanCommandLine.h"

#include "console/TemplateFile.h"

#include <algorithm>
#include <cwctype>
#include <map>

const wchar_t kScanUsage[] =
    L"Usage: SorvikScan FOLDER... [--pattern PATTERN | --include PATTERN...] [--exclude PATTERN]...\n"
    L"                  [--max-depth LEVELS] [--owner] [--hash]\n"
    L"                  [--database CONNECTION (--sql TEMPLATE | --sql-file FILE)] [--on-error stop|continue]\n"
    L"                  [--before-sql STATEMENT]... [--after-sql STATEMENT]... [--login-timeout SECONDS]\n"
    L"                  [--statement-timeout SECONDS] [--batch FILES] [--list csv|jsonl] [--bom] [--help]\n"
    L"Walks each FOLDER in turn, and its sub-folders, for files matching PATTERN (default *.*), as the Sorvik\n"
    L"dialog does; a folder given twice, or inside another given, is walked once.\n"
    L"  --pattern PATTERN  as in the dialog: a sub-folder is entered only when its own name matches it too\n"
    L"  --include PATTERN  enter every sub-folder, take only files whose names match (repeatable)\n"
    L"  --exclude PATTERN  leave out a file or folder: without a backslash, by its name at any depth\n"
    L"                     (node_modules, *.tmp); with one, by its path below each FOLDER (backup\\old,\n"
    L"                     Users\\*\\AppData); a folder left out is not entered (repeatable)\n"
    L"  --max-depth LEVELS list that many levels of folders: 1 takes each FOLDER's own files only\n"
    L"  --owner            look up each file's owner\n"
    L"  --hash             read each file's SHA-256 into the listing's FileSha256 column\n"
    L"  --database CONN    an ODBC connection string, or DSN=name; one statement per file on it\n"
    L"  --sql TEMPLATE     the statement, with {FileTitle}, {FilePath} ... {FileSha256} placeholders\n"
    L"  --sql-file FILE    the statement, from a UTF-8 file, or UTF-16 with its byte-order mark\n"
    L"  --on-error stop    end the walk at a failed statement (the default); continue: go on\n"
    L"  --before-sql SQL   run once before the walk, on the same connection (repeatable)\n"
    L"  --after-sql SQL    run once after a walk that ended with 0, on the same connection (repeatable)\n"
    L"                     (one holding {FolderPath} runs once for each FOLDER, with the folder there)\n"
    L"  --login-timeout S  give up a connection that has not opened in S seconds (default 30)\n"
    L"  --statement-timeout S  end the run when a statement or commit has waited S seconds (default 600;\n"
    L"                     0: wait without limit)\n"
    L"  --batch FILES      commit the statements of this many files together, sent at once where the\n"
    L"                     driver can (default 1000; 1: each statement on its own, as the dialog does)\n"
    L"  --list csv|jsonl   every file on standard output (csv is the default without --database)\n"
    L"  --bom              start the CSV with the UTF-8 byte-order mark, for a spreadsheet\n"
    L"  --                 ends the options: what follows is folders, even those starting with -\n"
    L"Warnings, errors and a closing summary go to standard error.\n"
    L"Exit codes: 0 everything listed and written, 1 finished with warnings or failed statements skipped,\n"
    L"2 command line, 4 the database could not be opened, 5 ended at a database error, 130 interrupted.\n";

namespace {

enum class Kind { Flag, Value, Repeatable };

const struct {
    const wchar_t* name;
    Kind kind;
} kOptions[] = {
    {L"--pattern", Kind::Value},        {L"--owner", Kind::Flag},          {L"--database", Kind::Value},
    {L"--sql", Kind::Value},            {L"--sql-file", Kind::Value},      {L"--on-error", Kind::Value},
    {L"--before-sql", Kind::Repeatable}, {L"--after-sql", Kind::Repeatable}, {L"--login-timeout", Kind::Value},
    {L"--list", Kind::Value},           {L"--batch", Kind::Value},         {L"--exclude", Kind::Repeatable},
    {L"--include", Kind::Repeatable},   {L"--max-depth", Kind::Value},     {L"--hash", Kind::Flag},
    {L"--bom", Kind::Flag},             {L"--statement-timeout", Kind::Value},
};

bool IsHelp(const std::wstring& arg)
{
    return arg == L"--help" || arg == L"-h" || arg == L"/?";
}

bool OnlyBlanks(const std::wstring& text)
{
    return std::all_of(text.begin(), text.end(), [](wchar_t c) { return std::iswspace(c) != 0; });
}

// Every option's values as given, by name; positional arguments apart.
using GivenOptions = std::map<std::wstring, std::vector<std::wstring>>;

bool ReadArguments(int argc, const wchar_t* const* argv, GivenOptions& given, std::vector<std::wstring>& folders,
                   std::wstring& error)
{
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        // After "--" every argument is a folder, so that one whose name
        // starts with "-" needs no ".\" before it.
        if (options && arg == L"--") {
            options = false;
            continue;
        }
        // Only where an option stands: "--sql-file -h" names a file.
        if (options && IsHelp(arg)) {
            given[L"--help"].emplace_back();
            return true;
        }
        if (!options || arg.empty() || arg[0] != L'-') {
            folders.push_back(arg);
            continue;
        }
        const size_t equals = arg.find(L'=');
        const std::wstring name = arg.substr(0, equals);
        const auto option = std::find_if(std::begin(kOptions), std::end(kOptions),
                                         [&](const auto& o) { return name == o.name; });
        if (option == std::end(kOptions)) {
            error = L"Unknown option " + arg;
            return false;
        }
        std::vector<std::wstring>& values = given[name];
        if (!values.empty() && option->kind != Kind::Repeatable) {
            error = name + L" is given twice";
            return false;
        }
        if (option->kind == Kind::Flag) {
            if (equals != std::wstring::npos) {
                error = name + L" takes no value";
                return false;
            }
            values.emplace_back();
            continue;
        }
        if (equals == std::wstring::npos && i + 1 >= argc) {
            error = name + L" needs a value";
            return false;
        }
        values.push_back(equals != std::wstring::npos ? arg.substr(equals + 1) : argv[++i]);
        if (values.back().empty()) {
            error = name + L" is empty text";
            return false;
        }
    }
    return true;
}

// The option's one value, or fallback when it was not given.
std::wstring Value(const GivenOptions& given, const wchar_t* name, const std::wstring& fallback = L"")
{
    const auto it = given.find(name);
    return it == given.end() ? fallback : it->second.front();
}

// A whole number from least to most, given to the option name.
bool ReadCount(const GivenOptions& given, const wchar_t* name, unsigned most, const wchar_t* unit, unsigned& value,
               std::wstring& error, unsigned least = 1)
{
    if (!given.count(name))
        return true;
    const std::wstring text = Value(given, name);
    const bool digits = !text.empty() && text.size() <= 6 &&
                        std::all_of(text.begin(), text.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; });
    const unsigned read = digits ? static_cast<unsigned>(std::stoul(text)) : most + 1;
    if (read < least || read > most) {
        error = std::wstring(name) + L" takes " + unit + L" from " + std::to_wstring(least) + L" to " +
                std::to_wstring(most) + L", not " + text;
        return false;
    }
    value = read;
    return true;
}

// The scope's patterns and depth, from their options.
bool ReadScope(const GivenOptions& given, ScanScope& scope, std::wstring& error)
{
    const struct {
        const wchar_t* name;
        bool (*add)(ScanScope&, const std::wstring&, std::wstring&);
    } patterns[] = {{L"--exclude", AddExclusion}, {L"--include", AddFilePattern}};
    for (const auto& option : patterns) {
        const auto it = given.find(option.name);
        for (size_t i = 0; it != given.end() && i < it->second.size(); ++i) {
            if (!option.add(scope, it->second[i], error)) {
                error = std::wstring(option.name) + L" " + error;
                return false;
            }
        }
    }
    // No Windows path holds more folders than that.
    return ReadCount(given, L"--max-depth", 32767, L"a whole number of levels", scope.maxDepth, error);
}

bool CheckStatements(const std::vector<std::wstring>& statements, const wchar_t* name, std::wstring& error)
{
    for (const std::wstring& statement : statements) {
        if (OnlyBlanks(statement)) {
            error = std::wstring(name) + L" holds only blanks: it would run nothing";
            return false;
        }
    }
    return true;
}

}  // namespace

bool ParseScanCommand(int argc, const wchar_t* const* argv, ScanCommand& command, std::wstring& error)
{
    GivenOptions given;
    std::vector<std::wstring> folders;
    if (!ReadArguments(argc, argv, given, folders, error))
        return false;
    command.help = given.count(L"--help") != 0;
    if (command.help)
        return true;

    if (folders.empty()) {
        error = L"No folder to walk.";
        return false;
    }
    if (std::any_of(folders.begin(), folders.end(), [](const std::wstring& f) { return f.empty(); })) {
        error = L"The folder is empty text.";
        return false;
    }
    for (const std::wstring& folder : folders)
        command.folders.emplace_back(folder.c_str(), static_cast<int>(folder.size()));
    if (given.count(L"--pattern") && given.count(L"--include")) {
        error = L"Give --pattern or --include, not both: --pattern picks the folders entered too.";
        return false;
    }
    command.pattern = Value(given, L"--pattern", command.pattern);
    if (!ReadScope(given, command.scope, error))
        return false;
    command.owner = given.count(L"--owner") != 0;
    command.hash = given.count(L"--hash") != 0;
    command.byteOrderMark = given.count(L"--bom") != 0;
    command.connection = Value(given, L"--database");
    command.sql = Value(given, L"--sql");
    command.sqlFile = Value(given, L"--sql-file");
    command.opening = given[L"--before-sql"];
    command.closing = given[L"--after-sql"];

    const std::wstring onError = Value(given, L"--on-error", L"stop");
    if (onError != L"stop" && onError != L"continue") {
        error = L"--on-error takes stop or continue, not " + onError;
        return false;
    }
    command.continueOnError = onError == L"continue";
    const std::wstring list = Value(given, L"--list", L"csv");
    if (list != L"csv" && list != L"jsonl") {
        error = L"--list takes csv or jsonl, not " + list;
        return false;
    }
    if (!ReadCount(given, L"--login-timeout", 86400, L"whole seconds", command.loginTimeoutSeconds, error) ||
        !ReadCount(given, L"--statement-timeout", 86400, L"whole seconds", command.statementTimeoutSeconds, error, 0) ||
        !ReadCount(given, L"--batch", 100000, L"a count of files", command.batchFiles, error))
        return false;

    const bool sqlGiven = given.count(L"--sql") != 0;
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
    if ((!command.opening.empty() || !command.closing.empty()) && command.connection.empty()) {
        error = L"--before-sql and --after-sql need --database.";
        return false;
    }
    if (given.count(L"--batch") && command.connection.empty()) {
        error = L"--batch needs --database: it batches the statements.";
        return false;
    }
    if (!command.sqlFile.empty() && !ReadTemplateFile(command.sqlFile, command.sql, error))
        return false;
    if (templateGiven && OnlyBlanks(command.sql)) {
        error = L"The template holds only blanks: it would write nothing.";
        return false;
    }
    if (!CheckStatements(command.opening, L"--before-sql", error) ||
        !CheckStatements(command.closing, L"--after-sql", error))
        return false;
    command.list = given.count(L"--list") || command.connection.empty()
                       ? (list == L"jsonl" ? ListFormat::Jsonl : ListFormat::Csv)
                       : ListFormat::None;
    if (command.hash && command.list == ListFormat::None) {
        error = L"--hash fills the listing's FileSha256: give --list too (a template asks with {FileSha256}).";
        return false;
    }
    if (command.byteOrderMark && command.list != ListFormat::Csv) {
        error = L"--bom is for the CSV listing: JSON readers refuse the mark.";
        return false;
    }
    return true;
}
