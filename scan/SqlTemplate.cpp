#include "scan/SqlTemplate.h"

#include "scan/FileTimeText.h"

CString QuoteForSql(const CString& value)
{
    CString quoted = value;
    quoted.Replace(L"'", L"''");
    return quoted;
}

CString ExpandSqlTemplate(LPCWSTR sqlTemplate, const FileFacts& facts)
{
    // The order matters: each row searches what the rows before it left,
    // inserted values included.
    const struct {
        LPCWSTR placeholder;
        CString value;
    } rows[] = {
        {L"{FileTitle}", QuoteForSql(facts.m_strFileTitle)},
        {L"{FilePath}", QuoteForSql(facts.m_strFilePath)},
        {L"{FileUrl}", QuoteForSql(facts.m_strFileUrl)},
        {L"{CreateTime}", FormatFileTime(facts.m_timeCreate)},
        {L"{AccessTime}", FormatFileTime(facts.m_timeAccess)},
        {L"{WriteTime}", FormatFileTime(facts.m_timeWrite)},
        {L"{ArchivedAttribute}", CString(facts.m_chArchived)},
        {L"{CompressedAttribute}", CString(facts.m_chCompressed)},
        {L"{HiddenAttribute}", CString(facts.m_chHidden)},
        {L"{NormalAttribute}", CString(facts.m_chNormal)},
        {L"{ReadOnlyAttribute}", CString(facts.m_chReadOnly)},
        {L"{SystemAttribute}", CString(facts.m_chSystem)},
        {L"{TemporaryAtribbute}", CString(facts.m_chTemporary)},
        {L"{AllAttributes}", facts.m_strAllAttributes},
        {L"{FileLength}", facts.m_strFileLength},
        {L"{FileOwner}", QuoteForSql(facts.m_strFileOwner)},
    };
    CString statement(sqlTemplate);
    for (const auto& row : rows)
        statement.Replace(row.placeholder, row.value);
    return statement;
}
