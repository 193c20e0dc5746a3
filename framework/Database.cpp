#include "framework/Database.h"

#include "framework/UniqueHandle.h"

#include <climits>
#include <cwchar>
#include <memory>
#include <string>

namespace {

// Drivers differ on a message longer than the buffer: most say its length;
// psqlODBC instead hands out the rest in the records that follow, cut to the
// first call's buffer (with a buffer of one character, empty records without
// end). A buffer that holds any ordinary message, read again when too small,
// serves both; a cap on the records serves a driver that never says "no
// more".
constexpr SQLSMALLINT kFirstRoom = 1024;
constexpr SQLSMALLINT kMaxRecords = 64;

// One record's message, or false when there is no such record.
bool ReadDiagnostic(SQLSMALLINT handleType, SQLHANDLE handle, SQLSMALLINT i, CDBException::Record& record)
{
    SQLWCHAR state[SQL_SQLSTATE_SIZE + 1] = {};
    CString message;
    for (SQLSMALLINT room = kFirstRoom;;) {
        SQLSMALLINT needed = 0;
        const SQLRETURN rc = ::SQLGetDiagRecW(handleType, handle, i, state, &record.nNative,
                                              reinterpret_cast<SQLWCHAR*>(message.GetBufferSetLength(room - 1)),
                                              room, &needed);
        if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO)
            return false;
        if (needed < room || room == SHRT_MAX) {
            message.ReleaseBuffer(needed >= 0 && needed < room ? needed : room - 1);
            break;
        }
        room = static_cast<SQLSMALLINT>(needed < SHRT_MAX ? needed + 1 : SHRT_MAX);
    }
    record.strState = CString(reinterpret_cast<LPCWSTR>(state));
    record.strMessage = message;
    return true;
}

}  // namespace

CDBException* CDBException::FromDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle, SQLRETURN nRetCode)
{
    std::unique_ptr<CDBException> e(new CDBException(CString()));
    e->m_nRetCode = nRetCode;
    Record read;
    for (SQLSMALLINT i = 1; handle != SQL_NULL_HANDLE && i <= kMaxRecords; ++i) {
        if (!ReadDiagnostic(handleType, handle, i, read))
            break;
        e->m_records.push_back(read);
    }

    for (const Record& record : e->m_records) {
        if (!e->m_strError.IsEmpty())
            e->m_strError += L"\r\n";
        e->m_strError += record.strMessage + L" (SQLSTATE " + record.strState + L")";
    }
    if (e->m_strError.IsEmpty())
        e->m_strError = CString((L"ODBC call failed with return code " + std::to_wstring(nRetCode)).c_str());
    return e.release();
}

namespace {

// MariaDB's driver also says a lost connection as HY000 with no native code:
// only its text tells, and only where the text begins (after the driver's
// and server's bracketed names), since a file's own error may quote a name
// that holds the same words.
bool SaysConnectionLost(const CDBException::Record& record)
{
    if (record.nNative != 0 || std::wcscmp(record.strState.GetString(), L"HY000") != 0)
        return false;
    LPCWSTR text = record.strMessage.GetString();
    while (*text == L'[' && std::wcschr(text, L']'))
        text = std::wcschr(text, L']') + 1;
    for (const LPCWSTR said : {L"Lost connection to", L"Server has gone away", L"MySQL server has gone away"}) {
        if (_wcsnicmp(text, said, std::wcslen(said)) == 0)
            return true;
    }
    return false;
}

}  // namespace

bool CDBException::IsConnectionLost() const
{
    for (const Record& record : m_records) {
        const LPCWSTR state = record.strState.GetString();
        // The standard's connection class (08), PostgreSQL's terminated
        // backend (57P01); MariaDB's server gone away (2006), gone during the
        // query (2013) or its connection killed (1927).
        if (std::wcsncmp(state, L"08", 2) == 0 || std::wcscmp(state, L"57P01") == 0 || record.nNative == 2006 ||
            record.nNative == 2013 || record.nNative == 1927 || SaysConnectionLost(record))
            return true;
    }
    return false;
}

CDatabase::~CDatabase()
{
    Close();
}

void CDatabase::OpenEx(LPCWSTR lpszConnectString)
{
    Close();
    CEnvironmentHandle env;
    SQLRETURN rc = ::SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, env.Put());
    if (!SqlSucceeded(rc))
        throw new CDBException(L"The ODBC environment could not be created.");
    rc = ::SQLSetEnvAttr(env.Get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (!SqlSucceeded(rc))
        throw CDBException::FromDiagnostics(SQL_HANDLE_ENV, env.Get(), rc);

    CConnectionHandle dbc;
    rc = ::SQLAllocHandle(SQL_HANDLE_DBC, env.Get(), dbc.Put());
    if (!SqlSucceeded(rc))
        throw CDBException::FromDiagnostics(SQL_HANDLE_ENV, env.Get(), rc);

    if (m_dwLoginTimeout != 0) {
        rc = ::SQLSetConnectAttrW(dbc.Get(), SQL_ATTR_LOGIN_TIMEOUT,
                                  reinterpret_cast<SQLPOINTER>(static_cast<ULONG_PTR>(m_dwLoginTimeout)), 0);
        if (!SqlSucceeded(rc))
            throw CDBException::FromDiagnostics(SQL_HANDLE_DBC, dbc.Get(), rc);
    }
    std::wstring connect = lpszConnectString ? lpszConnectString : L"";
    SQLSMALLINT outLength = 0;
    rc = ::SQLDriverConnectW(dbc.Get(), nullptr, reinterpret_cast<SQLWCHAR*>(&connect[0]), SQL_NTS, nullptr, 0,
                             &outLength, SQL_DRIVER_NOPROMPT);
    if (!SqlSucceeded(rc))
        throw CDBException::FromDiagnostics(SQL_HANDLE_DBC, dbc.Get(), rc);

    m_henv = env.Detach();
    m_hdbc = dbc.Detach();
}

void CDatabase::Close()
{
    if (m_hdbc != SQL_NULL_HDBC) {
        ::SQLDisconnect(m_hdbc);
        ::SQLFreeHandle(SQL_HANDLE_DBC, m_hdbc);
        m_hdbc = SQL_NULL_HDBC;
    }
    if (m_henv != SQL_NULL_HENV) {
        ::SQLFreeHandle(SQL_HANDLE_ENV, m_henv);
        m_henv = SQL_NULL_HENV;
    }
}

void CDatabase::ExecuteSQL(LPCWSTR lpszSQL, CStatementCancel* pCancel)
{
    if (m_hdbc == SQL_NULL_HDBC)
        throw new CDBException(L"The database connection is not open.");

    CStatementHandle stmt;
    SQLRETURN rc = ::SQLAllocHandle(SQL_HANDLE_STMT, m_hdbc, stmt.Put());
    if (!SqlSucceeded(rc))
        throw CDBException::FromDiagnostics(SQL_HANDLE_DBC, m_hdbc, rc);

    if (pCancel)
        pCancel->Enter(stmt.Get());
    // SQLExecDirectW takes a non-const pointer; it does not write through it.
    rc = ::SQLExecDirectW(stmt.Get(), const_cast<SQLWCHAR*>(reinterpret_cast<const SQLWCHAR*>(lpszSQL)), SQL_NTS);
    // "No data" from the first statement (an UPDATE of no row) may still have
    // results behind it.
    if (SqlSucceeded(rc)) {
        do
            rc = ::SQLMoreResults(stmt.Get());
        while (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO);
    }
    const bool cancelled = pCancel && pCancel->Leave();
    if (!SqlSucceeded(rc)) {
        CDBException* e = CDBException::FromDiagnostics(SQL_HANDLE_STMT, stmt.Get(), rc);
        e->m_bCancelled = cancelled;
        throw e;
    }
}

void CDatabase::SetAutoCommit(bool bAutoCommit)
{
    const SQLRETURN rc = ::SQLSetConnectAttrW(
        m_hdbc, SQL_ATTR_AUTOCOMMIT,
        reinterpret_cast<SQLPOINTER>(static_cast<ULONG_PTR>(bAutoCommit ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF)), 0);
    if (!SqlSucceeded(rc))
        throw CDBException::FromDiagnostics(SQL_HANDLE_DBC, m_hdbc, rc);
}

void CDatabase::EndTransaction(SQLSMALLINT completion)
{
    const SQLRETURN rc = ::SQLEndTran(SQL_HANDLE_DBC, m_hdbc, completion);
    if (!SqlSucceeded(rc))
        throw CDBException::FromDiagnostics(SQL_HANDLE_DBC, m_hdbc, rc);
}

bool CDatabase::TakesStatementBatches() const
{
    SQLUINTEGER support = 0;
    return SqlSucceeded(::SQLGetInfoW(m_hdbc, SQL_BATCH_SUPPORT, &support, sizeof support, nullptr)) &&
           (support & SQL_BS_ROW_COUNT_EXPLICIT) != 0;
}
