#include "support/OdbcQuery.h"

#include "framework/UniqueHandle.h"
#include "host/SampleDatabase.h"
#include "host/WinePath.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>


Rows QueryRows(CDatabase& db, const std::wstring& sql)
{
    Rows rows;
    CStatementHandle stmt;
    if (!SqlSucceeded(::SQLAllocHandle(SQL_HANDLE_STMT, db.m_hdbc, stmt.Put()))) {
        ADD_FAILURE() << "cannot allocate a statement";
        return rows;
    }
    std::wstring text = sql;
    if (!SqlSucceeded(::SQLExecDirectW(stmt.Get(), reinterpret_cast<SQLWCHAR*>(&text[0]), SQL_NTS))) {
        CDBException* e = CDBException::FromDiagnostics(SQL_HANDLE_STMT, stmt.Get(), SQL_ERROR);
        ADD_FAILURE() << "query failed: " << Narrow(e->m_strError.Str());
        e->Delete();
        return rows;
    }
    SQLSMALLINT columns = 0;
    ::SQLNumResultCols(stmt.Get(), &columns);
    for (SQLRETURN rc = ::SQLFetch(stmt.Get()); rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
         rc = ::SQLFetch(stmt.Get())) {
        std::vector<std::wstring> row;
        for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(columns); ++c) {
            SQLWCHAR buffer[4096];
            SQLLEN indicator = 0;
            ::SQLGetData(stmt.Get(), c, SQL_C_WCHAR, buffer, sizeof buffer, &indicator);
            row.push_back(indicator == SQL_NULL_DATA ? std::wstring(L"<null>")
                                                     : std::wstring(reinterpret_cast<wchar_t*>(buffer)));
        }
        rows.push_back(row);
    }
    return rows;
}

const char* EngineName(Engine engine)
{
    switch (engine) {
    case Engine::Sqlite:
        return "SQLite";
    case Engine::PostgreSql:
        return "PostgreSQL";
    case Engine::MariaDb:
        return "MariaDB";
    }
    return "?";
}

std::wstring ServerConnectionString(Engine engine)
{
    std::wstring variable = engine == Engine::PostgreSql ? L"SORVIK_TEST_POSTGRESQL" : L"SORVIK_TEST_MARIADB";
    if (sizeof(void*) == 8)
        variable += L"_64";
    wchar_t value[1024] = {};
    return ::GetEnvironmentVariableW(variable.c_str(), value, 1024) ? value : L"";
}

TestDatabase::TestDatabase(Engine engine) : m_engine(engine)
{
    CString& connection = m_connection;
    if (engine == Engine::Sqlite) {
        m_sqlitePath = UniqueTempPath(L".sqlite");
        connection = SqliteConnectionString(m_sqlitePath.c_str());
    } else {
        connection = ServerConnectionString(engine).c_str();
        if (connection.IsEmpty()) {
            m_unreachable = std::string(EngineName(engine)) + " is not set up: scripts/test.sh starts it";
            return;
        }
    }
    try {
        OpenSorvikConnection(db, connection);
        if (engine != Engine::Sqlite)
            db.ExecuteSQL(L"DROP TABLE IF EXISTS files");
        EnsureFilesTable(db);
    } catch (CDBException* e) {
        ADD_FAILURE() << "cannot open the " << EngineName(engine) << " test database: " << Narrow(e->m_strError.Str());
        e->Delete();
    }
}

namespace {

// One key's value of a connection string.
std::string ConnectionValue(const std::wstring& connection, const std::wstring& key)
{
    const size_t at = connection.find(key + L"=");
    if (at == std::wstring::npos)
        return std::string();
    const size_t from = at + key.size() + 1;
    return Narrow(connection.substr(from, connection.find(L';', from) - from));
}

}  // namespace

std::string TestDatabase::ClientCommand() const
{
    const std::wstring connection = ServerConnectionString(m_engine);
    switch (m_engine) {
    case Engine::PostgreSql:
        return "PGPASSWORD='" + ConnectionValue(connection, L"Password") + "' psql -X -q -h '" +
               ConnectionValue(connection, L"Servername") + "' -U sorvik postgres";
    case Engine::MariaDb:
        return "mariadb --no-defaults --socket='" + ConnectionValue(connection, L"Socket") + "' -uroot sorvik";
    case Engine::Sqlite:
        break;
    }
    return "sqlite3 " + Narrow(ShellQuote(UnixPathUnderWine(m_sqlitePath.c_str()).Str()));
}

TestDatabase::~TestDatabase()
{
    db.Close();
    if (!m_sqlitePath.empty()) {
        for (const wchar_t* suffix : {L"", L"-wal", L"-shm"})
            ::DeleteFileW((m_sqlitePath + suffix).c_str());
    }
}
