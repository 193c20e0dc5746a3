#include "support/OdbcQuery.h"

#include "framework/UniqueHandle.h"
#include "host/SampleDatabase.h"
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

SqliteTestDatabase::SqliteTestDatabase() : windowsPath(UniqueTempPath(L".sqlite"))
{
    ::DeleteFileW(windowsPath.c_str());
    try {
        db.OpenEx(SqliteConnectionString(windowsPath.c_str()));
        EnsureFilesTable(db);
    } catch (CDBException* e) {
        ADD_FAILURE() << "cannot open the test database: " << Narrow(e->m_strError.Str());
        e->Delete();
    }
}

SqliteTestDatabase::~SqliteTestDatabase()
{
    db.Close();
    for (const wchar_t* suffix : {L"", L"-wal", L"-shm"})
        ::DeleteFileW((windowsPath + suffix).c_str());
}
