// DLLs planted beside a program, as in a Downloads folder, under the names of
// system DLLs that are not KnownDLLs. Wine is told to prefer such a DLL found
// on the search path over its own, as Windows does with any DLL it finds there
// (version.dll and imm32.dll cannot be tried: Wine's user32 imports them
// before any code of the program runs).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/testkit.h"

namespace {

using testkit::Strings;

// shlwapi is a KnownDLL on Windows, but Wine's shell32 imports it: it stands
// for the imports of a DLL loaded by full path.
const char* const kPlanted[] = {"uxtheme", "dwmapi", "winmm", "cryptbase", "propsys", "shlwapi"};

std::string TestsDir() { return testkit::BuildDir() + "\\tests"; }

std::string SystemDir()
{
    char dir[MAX_PATH] = {};
    return std::string(dir, GetSystemDirectoryA(dir, MAX_PATH));
}

// A folder of the canary under every planted name, with programs copied into
// it; it goes with the object.
struct PlantedFolder {
    PlantedFolder() : dir(testkit::TempPath("planted"))
    {
        CreateDirectoryA(dir.c_str(), nullptr);
        for (const char* name : kPlanted)
            ok = CopyFileA((TestsDir() + "\\canary.dll").c_str(), Dll(name).c_str(), FALSE) && ok;
    }
    ~PlantedFolder()
    {
        testkit::WaitFor([this] { return RemoveAll(); }, 5000);  // a program's file stays locked for a moment
    }
    std::string Dll(const char* name) const { return dir + "\\" + name + ".dll"; }
    std::string Add(const std::string& from, const std::string& name)
    {
        const std::string to = dir + "\\" + name;
        ok = CopyFileA(from.c_str(), to.c_str(), FALSE) && ok;
        return to;
    }
    Strings Loaded() const
    {
        Strings out;
        for (const char* name : kPlanted)
            if (GetFileAttributesA((Dll(name) + ".loaded").c_str()) != INVALID_FILE_ATTRIBUTES)
                out.push_back(name);
        return out;
    }
    void Forget() const
    {
        for (const char* name : kPlanted)
            DeleteFileA((Dll(name) + ".loaded").c_str());
    }
    bool RemoveAll() const
    {
        WIN32_FIND_DATAA found;
        HANDLE hFind = FindFirstFileA((dir + "\\*").c_str(), &found);
        while (hFind != INVALID_HANDLE_VALUE) {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileA((dir + "\\" + found.cFileName).c_str());
            if (!FindNextFileA(hFind, &found))
                FindClose(hFind), hFind = INVALID_HANDLE_VALUE;
        }
        return RemoveDirectoryA(dir.c_str()) != FALSE;
    }
    std::string dir;
    bool ok = true;
};

// Native before builtin for the planted names, in the program of that file
// name: how Windows treats a DLL that is not a KnownDLL. Through Wine's
// per-program key, as a WINEDLLOVERRIDES set here would not reach the child.
struct PreferPlanted {
    explicit PreferPlanted(const std::string& exeName)
        : app("Software\\Wine\\AppDefaults\\" + exeName), key(app + "\\DllOverrides")
    {
        HKEY hKey = nullptr;
        ok = RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &hKey, nullptr) ==
             ERROR_SUCCESS;
        for (const char* name : kPlanted)
            ok = ok && RegSetValueExA(hKey, name, 0, REG_SZ, reinterpret_cast<const BYTE*>("native,builtin"), 15) ==
                           ERROR_SUCCESS;
        RegCloseKey(hKey);
    }
    ~PreferPlanted() { RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str()), RegDeleteKeyA(HKEY_CURRENT_USER, app.c_str()); }
    std::string app, key;
    bool ok = false;
};

// The probe's report: whether the search was restricted, and winmm.dll's file.
Strings Probe(PlantedFolder& folder, const char* mode)
{
    const std::string name = testkit::WithPid("dll_probe") + ".exe";
    const std::string exe = folder.Add(TestsDir() + "\\dll_probe.exe", name);
    const std::string report = folder.dir + "\\report.txt";
    PreferPlanted prefer(name);
    EXPECT_TRUE(prefer.ok);
    testkit::Process probe("\"" + exe + "\" " + mode + " \"" + report + "\"");
    EXPECT_TRUE(probe.WaitExit(120000) && probe.ExitCode() == 0) << mode;
    Strings lines;
    std::string text = testkit::ReadFile(report);
    for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(text.substr(at, end - at));
    return lines;
}

std::string Lower(std::string s)
{
    CharLowerBuffA(&s[0], static_cast<DWORD>(s.size()));
    return s;
}

}  // namespace

// The program started from the folder shows its report and has loaded none of them.
TEST(DllSearch, TheProgramBesidePlantedDllsStartsAndLoadsNoneOfThem)
{
    testkit::ScreenLock lock;  // its window takes the focus
    PlantedFolder folder;
    // A name of its own, with no profile: the run presses nothing.
    const std::string name = testkit::WithPid("zvdll") + ".exe";
    const std::string exe = folder.Add(testkit::BuildDir() + "\\zelvano.exe", name);
    ASSERT_TRUE(folder.ok);
    PreferPlanted prefer(name);
    ASSERT_TRUE(prefer.ok);
    testkit::ZelvanoStart run(exe);
    ASSERT_TRUE(run.hMain);
    EXPECT_NE(std::string::npos, run.report.find("何もしてないよ～ん")) << run.report;
    EXPECT_EQ(Strings(), folder.Loaded());
    EXPECT_TRUE(run.Close());
    EXPECT_EQ(Strings(), folder.Loaded());
}

// The same loads without the restriction take the planted DLLs, so the test sees a planting; with it,
// the system's own, a load by bare name too.
TEST(DllSearch, WithoutTheRestrictionThePlantedDllsAreLoadedAndWithItTheSystemsOwn)
{
    PlantedFolder folder;
    ASSERT_TRUE(folder.ok);
    const Strings open = Probe(folder, "open");
    ASSERT_EQ(2u, open.size());
    EXPECT_EQ("0", open[0]);
    EXPECT_EQ(Lower(folder.Dll("winmm")), Lower(open[1]));
    EXPECT_EQ(Strings({"uxtheme", "winmm", "shlwapi"}), folder.Loaded());

    folder.Forget();
    const Strings locked = Probe(folder, "locked");
    ASSERT_EQ(2u, locked.size());
    EXPECT_EQ("1", locked[0]);
    EXPECT_EQ(Lower(SystemDir() + "\\winmm.dll"), Lower(locked[1]));
    EXPECT_EQ(Strings(), folder.Loaded());
}
