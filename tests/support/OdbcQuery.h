#pragma once
// Reads query results back through the same connection, as text.
#include "framework/Database.h"

#include <string>
#include <vector>

using Rows = std::vector<std::vector<std::wstring>>;

// Runs a SELECT and returns every row, each column as text ("<null>" for NULL).
Rows QueryRows(CDatabase& db, const std::wstring& sql);

// The engines the tests write to: the embedded SQLite default, and the
// private PostgreSQL and MariaDB servers that the test command starts and
// names in SORVIK_TEST_POSTGRESQL and SORVIK_TEST_MARIADB (with _64 added, the
// connection strings for 64-bit programs).
enum class Engine { Sqlite, PostgreSql, MariaDb };
const char* EngineName(Engine engine);
// The connection string the test command gives for a server, or empty.
std::wstring ServerConnectionString(Engine engine);

// A connection opened as the sample host opens its own, with an empty files
// table: a fresh database file for SQLite, the table made anew on a server.
// A server the environment does not name is not open (see Unreachable).
class TestDatabase {
public:
    explicit TestDatabase(Engine engine = Engine::Sqlite);
    ~TestDatabase();
    TestDatabase(const TestDatabase&) = delete;
    TestDatabase& operator=(const TestDatabase&) = delete;

    // Why the engine cannot be reached here, or empty when it can.
    std::string Unreachable() const { return m_unreachable; }
    // The engine's own command-line client on this database, for the Unix
    // side, reading statements from its standard input.
    std::string ClientCommand() const;
    // What the connection was opened with, for another program to open it.
    const CString& ConnectionString() const { return m_connection; }
    CDatabase db;

private:
    Engine m_engine;
    CString m_connection;
    std::wstring m_sqlitePath;
    std::string m_unreachable;
};

