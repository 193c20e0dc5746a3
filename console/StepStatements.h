#pragma once
// The statements of --before-sql and --after-sql as they run. One that holds
// {FolderPath} runs once for each folder given, with the folder there, so
// that a recipe can register, and later close, each folder as a scope of its
// own: a task over D:\Data drops no row of another task's E:\Photos.
#include "framework/DynamicString.h"

#include <string>
#include <vector>

// Each step in order; one with the placeholder once a folder, each folder
// once. {FolderPath} is the folder as each of its files' paths begins, so
// ending in a backslash ("D:\Data\", "D:\"), with single quotes doubled as
// the template's paths have them.
std::vector<std::wstring> ExpandSteps(const std::vector<std::wstring>& steps, const std::vector<CString>& folders);
