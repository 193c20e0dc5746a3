#pragma once
// CDatabase and CDBException: the framework's ODBC connection, laid out as hosts
// built on the original framework lay it out (a virtual table, then m_hdbc), so
// that the module can take the handle from a host's object. Statements run
// through the ODBC wide-character API inside whichever module calls ExecuteSQL.
#include "framework/DynamicString.h"
#include "framework/StatementCancel.h"

#include <sql.h>
#include <sqlext.h>
#include <vector>

class CDBException {
public:
    struct Record {
        CString strState;    // five-character SQLSTATE
        SQLINTEGER nNative;  // the driver's own code
        CString strMessage;
    };

    // Reads every diagnostic record of the handle, before anything else can
    // overwrite them. Used right after the failing call.
    static CDBException* FromDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle, SQLRETURN nRetCode);
    explicit CDBException(const CString& strError) : m_strError(strError) {}

    // Thrown by pointer; whoever catches it releases it here.
    void Delete() { delete this; }
    // The connection itself failed: nothing run again on it can succeed,
    // and a commit it cut off may or may not have taken.
    bool IsConnectionLost() const;

    SQLRETURN m_nRetCode = SQL_ERROR;
    CString m_strError;  // every record: message and SQLSTATE, one line each
    // The statement failed because another thread cancelled it.
    bool m_bCancelled = false;
    std::vector<Record> m_records;
};

class CDatabase {
public:
    CDatabase() = default;
    virtual ~CDatabase();
    CDatabase(const CDatabase&) = delete;
    CDatabase& operator=(const CDatabase&) = delete;

    // Opens from an ODBC connection string without prompting. Throws
    // CDBException* on failure.
    void OpenEx(LPCWSTR lpszConnectString);
    // Seconds that the next OpenEx lets the driver take to log in; 0 leaves
    // the driver's own limit, which may be none.
    void SetLoginTimeout(DWORD dwSeconds) { m_dwLoginTimeout = dwSeconds; }
    void Close();
    bool IsOpen() const { return m_hdbc != SQL_NULL_HDBC; }

    // Runs one statement synchronously on its own statement handle. Success
    // with information and "no data" (a searched UPDATE or DELETE that matched
    // no row) are success. Text of several statements, where the driver takes
    // it, fails at the first of them that fails: every result is read, since
    // some drivers tell a later statement's error only there. Throws
    // CDBException* on any error. Sorvik calls it
    // on its worker thread. With pCancel, the statement is published there
    // while it runs, so that another thread can cancel it. Only m_hdbc of
    // this object is used: it may be a host's, laid out by another build of
    // the framework, which is why the cancel's state lives apart from it.
    void ExecuteSQL(LPCWSTR lpszSQL, CStatementCancel* pCancel = nullptr);

    // Off: statements join one transaction until CommitTrans or Rollback
    // ends it. Turning it back on commits what is open. Throws CDBException*.
    void SetAutoCommit(bool bAutoCommit);
    void CommitTrans() { EndTransaction(SQL_COMMIT); }
    void Rollback() { EndTransaction(SQL_ROLLBACK); }
    // The driver says it takes several statements in one execution (the
    // server may still refuse them).
    bool TakesStatementBatches() const;

    HDBC m_hdbc = SQL_NULL_HDBC;  // must stay the first data member
    HENV m_henv = SQL_NULL_HENV;
    DWORD m_dwLoginTimeout = 0;

private:
    void EndTransaction(SQLSMALLINT completion);
};

// True when the call's result is success for the purpose of a statement.
inline bool SqlSucceeded(SQLRETURN nRetCode)
{
    return nRetCode == SQL_SUCCESS || nRetCode == SQL_SUCCESS_WITH_INFO || nRetCode == SQL_NO_DATA;
}
