#pragma once
// The platform calls each file needs, made as plainly as possible: the
// baselines that Sorvik's own figures are set beside.
#include "framework/Database.h"

#include <functional>
#include <string>

// Recursive enumeration with the finder's flags, on paths in the "\\?\"
// form, asking each sub-folder's file index as the walk does; calls file for
// each file with its full path and its find data.
void BareEnumerate(const std::wstring& folder,
                   const std::function<void(const std::wstring&, const WIN32_FIND_DATAW&)>& file);

// The owner calls for one file, with the account and domain read into
// buffers; returns false when a call fails.
bool BareOwner(const std::wstring& path);

// The content hash's calls for one file: opened as the walk opens it, read
// in 1 MiB blocks, hashed with the system's SHA-256; false when a call fails.
bool BareSha256(const std::wstring& path, unsigned char (&digest)[32]);

// The statement the benchmark's template gives for one file, built by plain
// concatenation, and run on its own statement handle.
extern const wchar_t kBenchTemplate[];
std::wstring BareStatement(const std::wstring& path, const WIN32_FIND_DATAW& data);
bool BareExecute(CDatabase& db, const std::wstring& statement);

// The console program's CSV listing of folder, by plain code: a header line,
// then a line a file with its twenty facts (the owner and the hash empty), written to
// file in 64 KiB chunks. False when a write failed.
bool BareCsvListing(const std::wstring& folder, HANDLE file);

// A visible window with a report list of five columns, and a worker that
// walks folder and sends the list the messages a result row needs (the
// count, the insertion, three texts, the scroll), then sizes the columns.
// Returns the seconds from the worker's start to its end.
double BareListWalk(const std::wstring& folder);
