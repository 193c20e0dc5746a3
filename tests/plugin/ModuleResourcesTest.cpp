// Reads the built DLL's resources back and holds them to the contract, so
// that a stray style bit or a wrong coordinate fails the build.
#include "dialog/resource.h"
#include "host/PluginLoader.h"
#include "support/TempTree.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstring>

namespace {

class ModuleResources : public ::testing::Test {
protected:
    HMODULE module = nullptr;
    void SetUp() override
    {
        module = ::LoadLibraryExW(PathBesideProgram(L"Sorvik.dll"), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(nullptr, module);
    }
    void TearDown() override { ::FreeLibrary(module); }

    std::string Resource(LPCWSTR type, LPCWSTR name) const
    {
        HRSRC info = ::FindResourceW(module, name, type);
        if (!info)
            return std::string();
        const char* data = static_cast<const char*>(::LockResource(::LoadResource(module, info)));
        return std::string(data, ::SizeofResource(module, info));
    }
};

// Reads a dialog template field by field.
class TemplateReader {
public:
    explicit TemplateReader(const std::string& bytes) : m_bytes(bytes) {}
    WORD Word() { return Read<WORD>(); }
    DWORD Dword() { return Read<DWORD>(); }
    short Short() { return Read<short>(); }
    BYTE Byte() { return Read<BYTE>(); }
    // A string or an ordinal: ordinals come back as "#<number>".
    std::wstring SzOrOrd()
    {
        const WORD first = Word();
        if (first == 0xFFFF)
            return L"#" + std::to_wstring(Word());
        std::wstring text;
        for (WORD ch = first; ch != 0; ch = Word())
            text += static_cast<wchar_t>(ch);
        return text;
    }
    void AlignDword() { m_pos = (m_pos + 3) & ~size_t{3}; }
    bool AtEnd() const { return m_pos >= m_bytes.size(); }

private:
    template <class T>
    T Read()
    {
        T value{};
        if (m_pos + sizeof(T) <= m_bytes.size())
            std::memcpy(&value, m_bytes.data() + m_pos, sizeof(T));
        m_pos += sizeof(T);
        return value;
    }
    const std::string& m_bytes;
    size_t m_pos = 0;
};

struct ExpectedControl {
    DWORD id;
    const wchar_t* className;  // "#128" button, "#129" edit, "#130" static
    const wchar_t* text;
    DWORD style;
    short x, y, cx, cy;
};

const DWORD kChild = WS_CHILD | WS_VISIBLE;
const DWORD kLabel = kChild | WS_GROUP | SS_LEFT;
const DWORD kEdit = kChild | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL;
const DWORD kCheck = kChild | WS_TABSTOP | BS_AUTOCHECKBOX;

const ExpectedControl kControls[] = {
    {0xFFFF, L"#130", L"&Folder:", kLabel, 7, 9, 24, 8},
    {1005, L"#129", L"", kEdit, 36, 7, 185, 12},
    {1006, L"#128", L"&Browse...", kChild | WS_DISABLED | WS_TABSTOP | BS_PUSHBUTTON, 223, 7, 50, 12},
    {0xFFFF, L"#130", L"S&QL:", kLabel, 7, 23, 16, 8},
    {1014, L"#129", L"", kEdit, 36, 21, 185, 12},
    {0xFFFF, L"#130", L"&Pattern:", kLabel, 7, 37, 28, 8},
    {1010, L"#129", L"", kEdit, 36, 35, 40, 12},
    {1011, L"#128", L"Show &Results", kCheck, 254, 22, 69, 10},
    {1012, L"#128", L"Show &Owner", kCheck, 254, 32, 69, 8},
    {1013, L"#128", L"&Write to Database", kCheck, 254, 42, 69, 8},
    {1007, L"SysListView32", L"",
     kChild | WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_ALIGNLEFT | LVS_NOSORTHEADER, 7, 52, 316, 166},
    {1008, L"#128", L"&Start", kCheck | BS_PUSHLIKE, 273, 7, 50, 12},
};

}  // namespace

TEST_F(ModuleResources, DialogTemplateIsExactlyAsSpecified)
{
    const std::string bytes = Resource(RT_DIALOG, MAKEINTRESOURCEW(IDD_SORVIK_DIALOG));
    ASSERT_FALSE(bytes.empty());
    TemplateReader t(bytes);
    EXPECT_EQ(1, t.Word());       // extended template
    EXPECT_EQ(0xFFFF, t.Word());
    EXPECT_EQ(0u, t.Dword());     // help id
    EXPECT_EQ(0u, t.Dword());     // extended style
    EXPECT_EQ(static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_SETFONT | DS_MODALFRAME | DS_FIXEDSYS),
              t.Dword());
    ASSERT_EQ(12, t.Word());
    EXPECT_EQ(0, t.Short());
    EXPECT_EQ(0, t.Short());
    EXPECT_EQ(330, t.Short());
    EXPECT_EQ(225, t.Short());
    EXPECT_EQ(L"", t.SzOrOrd());  // no menu
    EXPECT_EQ(L"", t.SzOrOrd());  // no class of its own
    EXPECT_EQ(L"Sorvik", t.SzOrOrd());
    EXPECT_EQ(8, t.Word());
    EXPECT_EQ(400, t.Word());
    EXPECT_EQ(0, t.Byte());
    EXPECT_EQ(1, t.Byte());
    EXPECT_EQ(L"MS Shell Dlg", t.SzOrOrd());

    for (const ExpectedControl& c : kControls) {
        SCOPED_TRACE(Narrow(c.text) + " #" + std::to_string(c.id));
        t.AlignDword();
        EXPECT_EQ(0u, t.Dword());  // help id
        EXPECT_EQ(0u, t.Dword());  // extended style
        EXPECT_EQ(c.style, t.Dword());
        EXPECT_EQ(c.x, t.Short());
        EXPECT_EQ(c.y, t.Short());
        EXPECT_EQ(c.cx, t.Short());
        EXPECT_EQ(c.cy, t.Short());
        EXPECT_EQ(c.id, t.Dword() & 0xFFFF);
        // Class names are case-insensitive; resource compilers differ in case.
        const std::wstring className = t.SzOrOrd();
        EXPECT_EQ(0, _wcsicmp(c.className, className.c_str())) << Narrow(className);
        EXPECT_EQ(c.text, t.SzOrOrd());
        EXPECT_EQ(0, t.Word());  // no creation data
    }
    t.AlignDword();
    EXPECT_TRUE(t.AtEnd());
}

TEST_F(ModuleResources, TitleStringVersionBlockAndManifest)
{
    wchar_t title[64] = {};
    EXPECT_EQ(6, ::LoadStringW(module, IDS_SORVIK_TITLE, title, 64));
    EXPECT_STREQ(L"Sorvik", title);

    const CString path = PathBesideProgram(L"Sorvik.dll");
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path, &ignored);
    ASSERT_GT(size, 0u);
    std::string block(size, '\0');
    ASSERT_TRUE(::GetFileVersionInfoW(path, 0, size, &block[0]));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(0x00010001u, fixed->dwFileVersionMS);
    EXPECT_EQ(0x00000005u, fixed->dwFileVersionLS);
    EXPECT_EQ(0x00010001u, fixed->dwProductVersionMS);
    EXPECT_EQ(0x00000005u, fixed->dwProductVersionLS);
    EXPECT_EQ(static_cast<DWORD>(VFT_DLL), fixed->dwFileType);

    const struct {
        const wchar_t* name;
        const wchar_t* value;
    } texts[] = {
        {L"FileDescription", L"Sorvik DLL"},
        {L"ProductName", L"Sorvik"},
        {L"InternalName", L"Sorvik.dll"},
        {L"OriginalFilename", L"Sorvik.dll"},
        {L"Comments", L"Library for manage all files and folders of the current computer"},
    };
    for (const auto& text : texts) {
        wchar_t* value = nullptr;
        const std::wstring query = std::wstring(L"\\StringFileInfo\\040904b0\\") + text.name;
        ASSERT_TRUE(::VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &length))
            << Narrow(text.name);
        EXPECT_STREQ(text.value, value);
    }

    // The manifest names only what the build uses: Common Controls 6, no
    // runtime or framework assemblies that a machine might lack.
    const std::string manifest = Resource(RT_MANIFEST, MAKEINTRESOURCEW(2));
    EXPECT_NE(std::string::npos, manifest.find("Microsoft.Windows.Common-Controls"));
    EXPECT_EQ(manifest.find("<dependentAssembly>"), manifest.rfind("<dependentAssembly>")) << "one dependency";
    EXPECT_EQ(std::string::npos, manifest.find("VC80"));
}
