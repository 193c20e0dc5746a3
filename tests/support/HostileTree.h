#pragma once
// A tree of file names chosen to break whatever stands between a name and a
// database: quotes, placeholder texts, best-fit look-alikes of quote and
// backslash, characters outside the Basic Multilingual Plane, control
// characters, backslashes inside a name, 255-character names, a path past
// 260 characters, empty folders and links that dangle or lead back up. Made
// from the Unix side, since Windows cannot make several of these names.
#include "support/TempTree.h"

#include <vector>

// Makes the tree and returns the full path of every file in it, as the walk
// must find them; empty (with a test failure) when it could not be made.
std::vector<std::wstring> MakeHostileTree(const TempTree& tree);
