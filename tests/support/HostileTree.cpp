#include "support/HostileTree.h"

#include "host/WinePath.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// Any bytes as one bash word.
std::string BashQuote(const std::string& bytes)
{
    std::string quoted = "$'";
    for (const unsigned char c : bytes) {
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\x%02x", c);
        quoted += escape;
    }
    return quoted + "'";
}

struct Entry {
    char kind;  // 'd' folder, 'f' file, 'l' link
    std::wstring path;  // relative, with '/'
    std::string contentOrTarget;
};

std::vector<Entry> HostileEntries(const std::string& unixRoot)
{
    const std::wstring longFolder = L"long/" + std::wstring(60, L'L') + L"/" + std::wstring(60, L'M') + L"/" +
                                    std::wstring(60, L'N') + L"/" + std::wstring(60, L'O');
    return {
        {'f', L"O'Neil.txt", ""},
        {'f', L"''doubled''.txt", ""},
        {'f', L"it's 'quoted'", "x"},
        {'f', L"{FileLength}.txt", "twelve bytes"},
        {'f', L"a{FileOwner}b", ""},
        {'f', L"{FileTitle}.txt", ""},
        {'f', L"{FilePath} and {FileUrl}.txt", ""},
        {'f', L"100% _done_.txt", ""},
        {'f', L"full\uFF07quote", ""},
        {'f', L"modifier\u02BCletter.txt", ""},
        {'f', L"prime\u2032.txt", ""},
        {'f', L"full\uFF3Cbackslash", ""},
        {'f', L"set\u2216minus.txt", ""},
        // U+1F427's low surrogate ends in 0x27: narrowed byte by byte it is a quote.
        {'f', L"\U0001F427', 2, 'x'), ('y', 'z') --.txt", ""},
        {'f', L"\u0427', 3) --.txt", ""},
        {'f', L"\U00020000 ext-b.txt", ""},
        {'f', L"\u00dcn\u00efc\u00f8d\u00e9 \u2603 \u65e5\u672c.txt", ""},
        {'f', L"tab\there.txt", ""},
        {'f', L"new\nline.txt", ""},
        {'f', L"back\\slash.txt", ""},
        {'f', L"back\\t\\n\\0\\x.txt", ""},
        {'f', L"semi;colon, comma (paren).txt", ""},
        {'f', std::wstring(251, L'n') + L".txt", ""},
        {'f', L".hidden", ""},
        {'f', L"...", ""},
        {'f', L"..double", ""},
        {'f', L"trailing.", ""},
        {'d', L"it's a folder", ""},
        {'f', L"it's a folder/inner'file.txt", ""},
        {'d', L"{FilePath}", ""},
        {'f', L"{FilePath}/x.txt", ""},
        {'d', L"empty", ""},
        {'d', L"empty/inner", ""},
        {'d', longFolder, ""},
        {'f', longFolder + L"/deep'file.txt", ""},
        {'d', L"links", ""},
        {'f', L"links/real.txt", ""},
        {'l', L"links/up1", unixRoot},
        {'l', L"links/up2", unixRoot},
        {'l', L"links/dangling", "/nonexistent/sorvik"},
    };
}

}  // namespace

std::vector<std::wstring> MakeHostileTree(const TempTree& tree)
{
    const std::string root = Narrow(UnixPathUnderWine(tree.Root().c_str()).Str());
    if (root.empty()) {
        ADD_FAILURE() << "no Unix path for " << Narrow(tree.Root());
        return {};
    }
    std::vector<std::wstring> files;
    const std::wstring marker = UniqueTempPath(L".made");
    std::string script = "set -e\ncd " + BashQuote(root) + "\n";
    for (const Entry& e : HostileEntries(root)) {
        const std::string path = BashQuote(Narrow(e.path));
        if (e.kind == 'd')
            script += "mkdir -p " + path + "\n";
        else if (e.kind == 'f') {
            script += "printf %s " + BashQuote(e.contentOrTarget) + " > " + path + "\n";
            std::wstring windowsPath = e.path;
            std::replace(windowsPath.begin(), windowsPath.end(), L'/', L'\\');
            files.push_back(tree.Path(windowsPath));
        }
        else
            script += "ln -s " + BashQuote(e.contentOrTarget) + " " + path + "\n";
    }
    // The marker, last, says that everything before it was made.
    script += "touch " + BashQuote(Narrow(UnixPathUnderWine(marker.c_str()).Str())) + "\n";
    const bool made = RunUnixScript(script, marker);
    ::DeleteFileW(marker.c_str());
    if (!made) {
        ADD_FAILURE() << "the hostile tree could not be made under " << root;
        files.clear();
    }
    return files;
}
