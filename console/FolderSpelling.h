#pragma once
// One spelling for a folder, however the command line gave it. Windows
// ignores case in paths, so D:\DATA and d:\data\ name one folder; but every
// path the walk writes starts with the folder as given, and a table keyed by
// path would hold each file twice, once for each task or person who spelt
// it otherwise. So SorvikScan walks each folder given as the file system
// stores its names.
#include "framework/DynamicString.h"

// The folder made full, each name as the file system stores it (the long
// name for a short one) and the drive letter in capitals; a share's server
// and name stay as given, the system holds no spelling of them here. A
// folder that is not there is given back as it came, to be said as such.
CString SpelledAsStored(const CString& folder);
