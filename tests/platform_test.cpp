#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <utility>

#include <aclapi.h>
#include <shlobj.h>

#include "platform/platform.h"
#include "res/resource.h"
#include "tests/testkit.h"

namespace {
const auto S = testkit::Str;

BOOL WriteOne(CProfileFile& profile, const char* key, const char* value)
{
    CArray<CProfileValue> values;
    values.Add(CProfileValue{key, value});
    return profile.WriteStrings("BUTTON", values);
}

// A profile by a bare name of its own, as the program has: the system file in
// the Windows directory, its store under a LOCALAPPDATA of the test's. Both,
// and what saves leave beside them, go with the object.
struct StoreBeside {
    StoreBeside() : local(testkit::TempPath("zelvano-local"))
    {
        char kept[MAX_PATH] = {};
        GetEnvironmentVariableA("LOCALAPPDATA", kept, MAX_PATH);
        CreateDirectoryA(local.c_str(), nullptr);
        SetEnvironmentVariableA("LOCALAPPDATA", local.c_str());
        profile.SetName((local.substr(local.find_last_of('\\') + 1) + ".INI").c_str());
        SetEnvironmentVariableA("LOCALAPPDATA", kept);
        const std::string store = S(profile.GetUserStorePath());
        for (size_t i = local.size(); (i = store.find('\\', i + 1)) != std::string::npos;)
            CreateDirectoryA(store.substr(0, i).c_str(), nullptr);
    }
    ~StoreBeside()
    {
        for (const std::string& file : {S(profile.GetSystemPath()), S(profile.GetUserStorePath())}) {
            for (const std::string& temp : testkit::SaveTempsOf(file))
                DeleteFileA((file.substr(0, file.find_last_of('\\') + 1) + temp).c_str());
            SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(file.c_str());
        }
        for (std::string folder = S(profile.GetUserStorePath()); folder.size() > local.size();) {
            folder.resize(folder.find_last_of('\\'));
            RemoveDirectoryA(folder.c_str());
        }
    }
    CProfileFile profile;
    std::string local;
};

// Ends with 5 at WM_APP, or with -99 when its guard timer comes first.
struct ProbeDlg : CDialog {
    ProbeDlg() : CDialog(IDD_REPORT) {}
    std::function<void(HWND)> onInit;
    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        ::SetTimer(m_hWnd, 1, 5000, nullptr);
        onInit(m_hWnd);
        return TRUE;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(ProbeDlg, CDialog)
    {WM_APP, 0, 0, AFX_THUNK(pThis->EndDialog(5); return 0;)},
    {WM_TIMER, 0, 0, AFX_THUNK(pThis->EndDialog(-99); return 0;)},
END_MESSAGE_MAP()
}  // namespace

// A sent message is handled inside GetMessage without waking the loop, so the
// loop must notice the end itself (else the guard timer ends it with -99).
TEST(ModalLoop, EndDialogInsideASentMessageEndsTheLoop)
{
    testkit::ScreenLock lock;  // the dialog takes the focus, which ends another test's drag
    ProbeDlg dlg;
    std::thread sender;
    bool idle = false;
    dlg.onInit = [&](HWND hDlg) {
        sender = std::thread([hDlg, &idle] {
            // Idle first: shown, active and painted, so nothing else wakes the loop.
            idle = testkit::WaitFor([hDlg] {
                for (HWND h : {hDlg, ::GetDlgItem(hDlg, IDOK), ::GetDlgItem(hDlg, IDC_REPORT)})
                    if (::GetUpdateRect(h, nullptr, FALSE))
                        return false;
                return ::IsWindowVisible(hDlg) && ::GetForegroundWindow() == hDlg;
            }, 3000);
            ::SendMessageA(hDlg, WM_APP, 0, 0);
        });
    };
    EXPECT_EQ(5, dlg.DoModal());
    sender.join();
    EXPECT_TRUE(idle) << "not idle and in front within 3 s: the loop may not have been waiting";
}

// Reads drop blanks at both ends and one pair of enclosing quotes: such values
// are stored quoted once more, every other value as it stands, in the ANSI
// code page that other tools reading the file expect.
TEST(Profile, EveryValueReadsBackAsWrittenAndPlainOnesAreStoredAsTheyStand)
{
    CWinApp* pApp = AfxGetApp();
    std::string wide;
    for (int i = 0; i < 3000; ++i)
        wide += "表";
    const struct { std::string value; bool quoted; } cases[] = {
        {" 設定 ", true}, {"\t窓", true}, {"窓\t", true}, {"'単','確認'", true}, {"\"a\"", true},
        {"\"\"", true}, {"a\x1A", true}, {"\va\f", true}, {" ", true}, {"\" a \"", true},
        {"a b", false}, {"\"", false}, {"'", false}, {"\"a'", false}, {"a\"", false}, {"表\\,ソ", false},
        {"　全角　", false}, {";a=b", false}, {"", false}, {"表示\\ソフト", false}, {"ﾊﾞｰｼﾞｮﾝ 表,ソ", false},
        // Past the first 4096-byte read, with a double-byte character across its end.
        {std::string(9000, 'x'), false}, {"a" + wide, false},
    };
    const size_t n = sizeof(cases) / sizeof(cases[0]);
    for (size_t i = 0; i < n; ++i)
        ASSERT_TRUE(pApp->WriteProfileString("表セクション", ("K" + std::to_string(i)).c_str(), cases[i].value.c_str())) << i;
    const std::string file = testkit::ReadFile(pApp->m_pszProfileName);
    for (size_t i = 0; i < n; ++i) {
        const std::string key = "K" + std::to_string(i), value = cases[i].value;
        EXPECT_EQ(value, S(pApp->GetProfileString("表セクション", key.c_str(), "-"))) << key;
        const std::string stored = cases[i].quoted ? "\"" + value + "\"" : value;
        EXPECT_NE(std::string::npos, file.find(key + "=" + stored + "\r\n")) << key;
    }
}

// The store is where Windows virtualizes the file: found through
// %LOCALAPPDATA%, or the shell when that is missing or no folder.
TEST(Profile, ABareNameLivesInTheWindowsDirectoryWithItsStoreBeside)
{
    char windows[MAX_PATH] = {}, local[MAX_PATH] = {}, shell[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    GetEnvironmentVariableA("LOCALAPPDATA", local, MAX_PATH);
    ASSERT_EQ(S_OK, SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, shell));
    const char* envs[] = {local, nullptr, "relative\\folder", "C:\\no such folder"};
    for (const char* env : envs) {
        SetEnvironmentVariableA("LOCALAPPDATA", env);
        CProfileFile profile;
        profile.SetName("表ソ.INI");
        EXPECT_EQ(std::string(windows) + "\\表ソ.INI", S(profile.GetSystemPath()));
        EXPECT_EQ(std::string(env == local ? local : shell) + "\\VirtualStore" + (windows + 2) + "\\表ソ.INI",
                  S(profile.GetUserStorePath()))
            << (env ? env : "(none)");
    }
    SetEnvironmentVariableA("LOCALAPPDATA", local);
    CProfileFile named;
    named.SetName("C:\\folder\\z.INI");
    EXPECT_EQ("C:\\folder\\z.INI", S(named.GetSystemPath()));
    EXPECT_EQ("", S(named.GetUserStorePath()));
}

TEST(Profile, TheUserStoreServesOnceItExistsAndAnyOtherRefusalStaysARefusal)
{
    StoreBeside named;
    CProfileFile& profile = named.profile;
    const std::string system = S(profile.GetSystemPath()), store = S(profile.GetUserStorePath());
    const std::string admin = "[BUTTON]\r\nBTN1=system,one\r\n";
    ASSERT_TRUE(testkit::WriteFile(system, admin));
    EXPECT_EQ(system, S(profile.GetPath()));
    EXPECT_EQ("system,one", S(profile.GetString("BUTTON", "BTN1", "")));

    // Held open by another program, as an editor or a virus scanner does, for
    // reading or writing: it still reads, and the write is refused, with no
    // store as this is no lack of access.
    const DWORD holds[][2] = {{GENERIC_READ, FILE_SHARE_READ}, {GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE}};
    for (const auto& hold : holds) {
        HANDLE hLock = CreateFileA(system.c_str(), hold[0], hold[1], nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, hLock);
        EXPECT_FALSE(WriteOne(profile, "BTN1", "lost,entry"));
        EXPECT_EQ("system,one", S(profile.GetString("BUTTON", "BTN1", "")));
        CloseHandle(hLock);
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(store.c_str()));
    }

    // Once the store exists, reads and writes go there and the system profile stays as it was.
    ASSERT_TRUE(testkit::WriteFile(store, "[BUTTON]\r\nBTN1=store,one\r\n"));
    EXPECT_EQ(store, S(profile.GetPath()));
    EXPECT_EQ("store,one", S(profile.GetString("BUTTON", "BTN1", "")));
    EXPECT_TRUE(WriteOne(profile, "BTN2", " store two "));
    EXPECT_EQ("[BUTTON]\r\nBTN1=store,one\r\nBTN2=\" store two \"\r\n", testkit::ReadFile(store));
    EXPECT_EQ(admin, testkit::ReadFile(system));
}

TEST(Profile, Utf8IsToldFromCodePage932AndUtf16)
{
    const struct { std::string bytes; bool utf8; } cases[] = {
        {"[BUTTON]\r\nBTN1=\xE8\xA8\xAD\xE5\xAE\x9A,OK\r\n", true},  // 設定 in UTF-8
        {"\xEF\xBB\xBF[BUTTON]\r\nBTN1=a,b\r\n", true},              // a mark before plain ASCII
        {"\xEF\xBB\xBF" "BTN1=\x90\xDD\x92\xE8", true},              // a mark before code page 932
        {"\xF0\x9F\x98\x80", true},
        {"[BUTTON]\r\nBTN1=a,b\r\n", false},
        {"BTN1=\x90\xDD\x92\xE8,\x8A\x6D\x94\x46", false},           // 設定,確認 in code page 932
        {"BTN1=\x83\x5C\x83\x74\x83\x67", false},                    // ソフト: trail bytes 0x5C, 0x74
        {"\xFF\xFE[\0B\0", false},
        {"\xC0\x80", false}, {"\xE0\x9F\xBF", false}, {"\xF0\x8F\xBF\xBF", false},  // overlong
        {"\xED\xA0\x80", false}, {"\xF4\x90\x80\x80", false}, {"\xE8\xA8", false},
        {"", false},
        // Half-width katakana in code page 932 (ﾃｽﾄｱ,ﾅｼ) are valid two-byte UTF-8 too; so is é.
        {"[BUTTON]\r\nBTN1=\xC3\xBD\xC4\xB1,\xC5\xBC\r\n", false}, {"caf\xC3\xA9", false},
        {"caf\xC3\xA9 \xE8\xA8\xAD", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.utf8, IsUtf8ProfileText(c.bytes.data(), c.bytes.size())) << c.bytes;
}

namespace {

using testkit::Exists;

// Makes one step of a save fail, or damages the temporary file there and lets the save go on: cuts it
// where a text begins (at its second byte) or by some bytes off its end, or changes one byte.
struct SaveFault {
    ProfileSaveStep step;
    const char* at;  // the text; null: cutBy off the end, or with neither the step fails
    int cutBy;
    bool change;
    bool reached = false, tempAtReplaced = true;

    static bool Hook(ProfileSaveStep step, HANDLE hTemp, const char* pszTemp, void* pContext)
    {
        SaveFault& f = *static_cast<SaveFault*>(pContext);
        if (step == PROFILE_SAVE_REPLACED)
            f.tempAtReplaced = Exists(pszTemp);
        if (step != f.step)
            return true;
        f.reached = true;
        if (!f.at && f.cutBy == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        const std::string bytes = testkit::ReadFile(pszTemp);
        std::string at = f.at ? f.at : "";
        if (bytes.compare(0, 2, "\xFF\xFE") == 0)
            at = testkit::Utf16(at).substr(2);
        LARGE_INTEGER pos = {};
        pos.QuadPart = f.at ? static_cast<LONGLONG>(bytes.find(at) + 2) : static_cast<LONGLONG>(bytes.size() - f.cutBy);
        if (f.at && bytes.find(at) == std::string::npos)
            return f.reached = false, true;
        SetFilePointerEx(hTemp, pos, nullptr, FILE_BEGIN);
        DWORD written = 0;
        return f.change ? WriteFile(hTemp, "#", 1, &written, nullptr) != FALSE : SetEndOfFile(hTemp) != FALSE;
    }
};

}  // namespace

// Wherever a save fails, the profile keeps its old bytes and no temporary file is left; once it is in
// place, it is whole. A write that is cut short or changed and reported as done, as a disk may do, is
// caught wherever it falls: in the list, in a section after it (its first line, a comment, its last
// line), at the file's last byte. Code page 932 and UTF-16 LE files alike; the other sections, keys and
// comments stay.
TEST(Profile, ASaveLeavesTheOldBytesOrTheWholeNewFileWhereverItFails)
{
    const std::string text = "; 自分のメモ\r\n[前]\r\nα=1\r\n[BUTTON]\r\nBTN1=古い窓,押す\r\nBTN2=表\\,ソ\r\n"
                             "BTN3=\r\nメモ=残す\r\n[後]\r\n鍵=最後の値\r\n; 後のメモ\r\n二=2\r\n終=おわり\r\n";
    CArray<CProfileValue> values;
    for (int i = 1; i <= 40; ++i)
        values.Add(CProfileValue{("BTN" + std::to_string(i)).c_str(), ("新しい窓 " + std::to_string(i) + ",ボタン").c_str()});
    values.Add(CProfileValue{"BTN41", ""});
    const SaveFault faults[] = {
        {PROFILE_SAVE_CREATED, nullptr, 0, false},      {PROFILE_SAVE_WRITTEN, nullptr, 0, false},
        {PROFILE_SAVE_WRITTEN, "新しい窓 1,", 0, false}, {PROFILE_SAVE_WRITTEN, "新しい窓 20", 0, false},
        {PROFILE_SAVE_WRITTEN, "BTN41", 0, false},      {PROFILE_SAVE_WRITTEN, "[後]", 0, false},
        {PROFILE_SAVE_WRITTEN, "鍵=最後", 0, false},     {PROFILE_SAVE_WRITTEN, "; 後の", 0, false},
        {PROFILE_SAVE_WRITTEN, "終=", 0, false},        {PROFILE_SAVE_WRITTEN, nullptr, 1, false},
        {PROFILE_SAVE_WRITTEN, nullptr, 8, false},      {PROFILE_SAVE_WRITTEN, nullptr, 700, false},
        {PROFILE_SAVE_WRITTEN, "二=2", 0, true},        {PROFILE_SAVE_WRITTEN, "; 自分", 0, true},
        {PROFILE_SAVE_CHECKED, nullptr, 0, false},      {PROFILE_SAVE_REPLACED, nullptr, 0, false},
    };
    for (const std::string& old : {text, testkit::Utf16(text)}) {
        for (SaveFault fault : faults) {
            SCOPED_TRACE(std::to_string(old.size()) + " bytes, step " + std::to_string(fault.step) + ", at " +
                         (fault.at ? fault.at : "-") + ", cut by " + std::to_string(fault.cutBy));
            const std::string path = testkit::TempPath("zelvano-save") + ".INI";
            ASSERT_TRUE(testkit::WriteFile(path, old));
            CProfileFile profile;
            profile.SetName(path.c_str());
            profile.SetSaveHook(SaveFault::Hook, &fault);
            const BOOL saved = profile.WriteStrings("BUTTON", values);
            EXPECT_TRUE(fault.reached);
            EXPECT_EQ(testkit::Strings(), testkit::SaveTempsOf(path));
            if (fault.step != PROFILE_SAVE_REPLACED) {
                EXPECT_FALSE(saved);
                EXPECT_EQ(old, testkit::ReadFile(path));
            } else {
                EXPECT_TRUE(saved);
                EXPECT_FALSE(fault.tempAtReplaced);
                const std::string now = testkit::ReadFile(path);
                EXPECT_EQ(old.substr(0, 2), now.substr(0, 2));  // UTF-16 stays UTF-16
                for (const CProfileValue& v : values)
                    EXPECT_EQ(S(v.strValue), S(profile.GetString("BUTTON", v.strKey, "-"))) << S(v.strKey);
                EXPECT_EQ("残す", S(profile.GetString("BUTTON", "メモ", "-")));
                EXPECT_EQ("1", S(profile.GetString("前", "α", "-")));
                EXPECT_EQ("最後の値", S(profile.GetString("後", "鍵", "-")));
                // Everything after the list, byte for byte, in either coding.
                const std::string tail = old.substr(old.find(old.size() == text.size() ? "[後]" : testkit::Utf16("[後]").substr(2)));
                EXPECT_EQ(tail, now.substr(now.size() - tail.size()));
            }
            DeleteFileA(path.c_str());
        }
    }
}

// A temporary file that a crash left behind is never read and the next save replaces it; a save keeps the
// profile hidden, refuses a read-only one as Windows does (or goes to the store, for the system profile),
// and waits out another program that holds the file for a moment.
TEST(Profile, ASaveReplacesALeftoverKeepsAttributesRefusesReadOnlyAndWaitsOutABriefHold)
{
    StoreBeside named;
    CProfileFile& profile = named.profile;
    const std::string path = S(profile.GetSystemPath()), temp = path + ".tmp", store = S(profile.GetUserStorePath());
    ASSERT_TRUE(testkit::WriteFile(path, "[BUTTON]\r\nBTN1=古い窓,押す\r\n"));
    ASSERT_TRUE(testkit::WriteFile(temp, "[BUTTON]\r\nBTN1=残骸,x\r\nBTN2=残骸,y\r\n"));
    SetFileAttributesA(temp.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ("古い窓,押す", S(profile.GetString("BUTTON", "BTN1", "-")));
    EXPECT_EQ("-", S(profile.GetString("BUTTON", "BTN2", "-")));
    EXPECT_TRUE(WriteOne(profile, "BTN1", "新しい窓,押す"));
    EXPECT_EQ("[BUTTON]\r\nBTN1=新しい窓,押す\r\n", testkit::ReadFile(path));
    EXPECT_FALSE(Exists(temp));
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN), GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_HIDDEN);

    std::thread holder([&] {
        HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        Sleep(100);
        CloseHandle(h);
    });
    Sleep(20);
    EXPECT_TRUE(WriteOne(profile, "BTN2", "待った窓,押す"));
    holder.join();
    EXPECT_EQ("[BUTTON]\r\nBTN1=新しい窓,押す\r\nBTN2=待った窓,押す\r\n", testkit::ReadFile(path));

    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
    const std::string kept = testkit::ReadFile(path);
    SetLastError(0);
    profile.SetName(path.c_str());
    EXPECT_FALSE(WriteOne(profile, "BTN1", "拒まれる,押す"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_EQ(kept, testkit::ReadFile(path));
    EXPECT_EQ(testkit::Strings(), testkit::SaveTempsOf(path));

    char local[MAX_PATH] = {};
    GetEnvironmentVariableA("LOCALAPPDATA", local, MAX_PATH);
    SetEnvironmentVariableA("LOCALAPPDATA", named.local.c_str());
    profile.SetName(path.substr(path.find_last_of('\\') + 1).c_str());
    SetEnvironmentVariableA("LOCALAPPDATA", local);
    EXPECT_TRUE(WriteOne(profile, "BTN1", "店の窓,押す"));
    EXPECT_EQ(kept, testkit::ReadFile(path));
    EXPECT_EQ("[BUTTON]\r\nBTN1=店の窓,押す\r\nBTN2=待った窓,押す\r\n", testkit::ReadFile(store));
    EXPECT_EQ(0u, GetFileAttributesA(store.c_str()) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(testkit::Strings(), testkit::SaveTempsOf(path));
    EXPECT_EQ(testkit::Strings(), testkit::SaveTempsOf(store));
}

namespace {

std::string Swapped(std::string utf16)
{
    for (size_t i = 0; i + 1 < utf16.size(); i += 2)
        std::swap(utf16[i], utf16[i + 1]);
    return utf16;
}

std::string Permissions(const std::string& path)
{
    char sd[4096];
    DWORD needed = 0;
    return GetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, sd, sizeof(sd), &needed) ? std::string(sd, needed)
                                                                                             : std::string();
}

}  // namespace

// The save finds the list's lines itself, and the profile functions read them at the next start: both
// must take the same line for a key. In layouts that people's files have, the edit rewrites just the
// lines the functions read the keys from, puts missing keys after the section's last key (or a new
// section at the end), keeps every other byte, and the functions read the new file as intended, in code
// page 932, UTF-16 LE and UTF-16 BE. What no read would find as written is refused.
TEST(ProfileText, TheEditRewritesOnlyTheLinesTheProfileFunctionsReadTheKeysFrom)
{
    CArray<CProfileValue> values;
    values.Add(CProfileValue{"BTN1", "新,一"});
    values.Add(CProfileValue{"BTN2", ""});
    const struct { const char* before; const char* after; } cases[] = {
        {"", "[BUTTON]\r\nBTN1=新,一\r\nBTN2=\r\n"},
        {"; メモ\r\n[他]\r\na=1", "; メモ\r\n[他]\r\na=1\r\n[BUTTON]\r\nBTN1=新,一\r\nBTN2=\r\n"},
        {"[BUTTON]\r\nBTN1=古\r\nBTN2=古い二\r\nBTN3=残る\r\n[後]\r\nb=2\r\n",
         "[BUTTON]\r\nBTN1=新,一\r\nBTN2=\r\nBTN3=残る\r\n[後]\r\nb=2\r\n"},
        // Names in any case and with blanks, a key without '=', a lone CR, no break at the end.
        {"[ button ]\r\n  btn1 = 古 \r\nBTN2\rBTN3=x", "[ button ]\r\nBTN1=新,一\r\nBTN2=\rBTN3=x"},
        // The first of two equal keys and of two equal sections; comments and blank lines stay.
        {"[BUTTON]\r\n; BTN1=注\r\n\r\nBTN1=一つ目\r\nBTN1=二つ目\r\n\r\n[BUTTON]\r\nBTN2=後の節\r\n",
         "[BUTTON]\r\n; BTN1=注\r\n\r\nBTN1=新,一\r\nBTN1=二つ目\r\nBTN2=\r\n\r\n[BUTTON]\r\nBTN2=後の節\r\n"},
        // Missing keys follow the last key, not a comment on the next section.
        {"[BUTTON]\r\nBTN1=古\r\n; 次の節\r\n[表]\r\nc=3\r\n",
         "[BUTTON]\r\nBTN1=新,一\r\nBTN2=\r\n; 次の節\r\n[表]\r\nc=3\r\n"},
        // A header's last ']' counts, a trail byte 0x5D (ゾ) is none, and a line without one is no header.
        {"[BUTTON]ゾ\r\nBTN1=古\r\n", "[BUTTON]ゾ\r\nBTN1=新,一\r\nBTN2=\r\n"},
        {"[BUTTONゾ\r\nBTN1=古\r\n", "[BUTTONゾ\r\nBTN1=古\r\n[BUTTON]\r\nBTN1=新,一\r\nBTN2=\r\n"},
        {"[BUTTON]\r\nBTN1=古\r\n[後ゾ\r\nBTN2=古\r\n", "[BUTTON]\r\nBTN1=新,一\r\n[後ゾ\r\nBTN2=\r\n"},
    };
    const std::string path = testkit::TempPath("zelvano-edit") + ".INI";
    for (const auto& c : cases) {
        const std::string utf16[] = {testkit::Utf16(c.before), testkit::Utf16(c.after)};
        const std::pair<std::string, std::string> codings[] = {
            {c.before, c.after}, {utf16[0], utf16[1]}, {Swapped(utf16[0]), Swapped(utf16[1])}};
        for (const auto& coding : codings) {
            SCOPED_TRACE(std::string(c.before) + " in " + (&coding - codings == 0 ? "932" : "UTF-16"));
            CString edited;
            ASSERT_TRUE(SetProfileValues(CString(coding.first.data(), int(coding.first.size())), "BUTTON", values, edited));
            EXPECT_EQ(coding.second, S(edited));
            ASSERT_TRUE(testkit::WriteFile(path, S(edited)));
            char value[64], section[4096];
            EXPECT_EQ(5u, GetPrivateProfileStringA("BUTTON", "BTN1", "-", value, sizeof(value), path.c_str()));
            EXPECT_STREQ("新,一", value);
            EXPECT_EQ(0u, GetPrivateProfileStringA("BUTTON", "BTN2", "-", value, sizeof(value), path.c_str()));
            GetPrivateProfileSectionA("BUTTON", section, sizeof(section), path.c_str());
            EXPECT_TRUE(SectionReadsAs(section, values));
        }
    }
    DeleteFileA(path.c_str());

    const CProfileValue refused[] = {{"BTN1", "a\r\nBTN2=b"}, {"BTN1", "a\rb"}, {"BTN=1", "x"}, {" BTN1", "x"},
                                     {";BTN1", "x"}, {"[BTN1", "x"}, {"", "x"}};
    for (const CProfileValue& bad : refused) {
        CArray<CProfileValue> one;
        one.Add(bad);
        CString edited;
        EXPECT_FALSE(SetProfileValues("[BUTTON]\r\n", "BUTTON", one, edited)) << S(bad.strKey) << "=" << S(bad.strValue);
    }
    // A section as the functions give it reads the values only from the first line of each key, with '='.
    const struct { testkit::Strings lines; bool reads; } sections[] = {
        {{"BTN1=新,一", "BTN2="}, true}, {{"btn1 = 新,一 ", "; BTN2=x", "BTN2="}, true}, {{"BTN1=新,一"}, false},
        {{"BTN1", "BTN1=新,一", "BTN2="}, false}, {{"BTN1=新,一", "BTN2=x", "BTN2="}, false},
    };
    for (const auto& c : sections) {
        std::string lines;
        for (const std::string& line : c.lines)
            lines += line + '\0';
        EXPECT_EQ(c.reads, SectionReadsAs((lines + '\0').c_str(), values)) << testing::PrintToString(c.lines);
    }
}

// A save replaces the file's bytes and nothing else of it: a profile that is a link stays one and the file
// it names gets the list; the profile's own permissions stay. Of what saves left beside it only the
// leftovers of ended saves go; one that is held open, or named for a program still running, stays, and
// none of them stops the save.
TEST(Profile, ASaveKeepsTheFileItsLinkAndPermissionsAndOnlyEndedSavesLeftovers)
{
    const std::string real = testkit::TempPath("zelvano-real") + ".INI", link = testkit::TempPath("zelvano-link") + ".INI";
    ASSERT_TRUE(testkit::WriteFile(real, "[BUTTON]\r\nBTN1=古,x\r\n"));
    ASSERT_TRUE(testkit::UnixSymlink(real, link));
    CProfileFile linked;
    linked.SetName(link.c_str());
    EXPECT_TRUE(WriteOne(linked, "BTN1", "新,y"));
    EXPECT_EQ("[BUTTON]\r\nBTN1=新,y\r\n", testkit::ReadFile(real));
    ASSERT_TRUE(testkit::WriteFile(real, "[BUTTON]\r\nBTN1=後,z\r\n"));
    EXPECT_EQ("後,z", S(linked.GetString("BUTTON", "BTN1", "-")));  // still a link to it
    EXPECT_EQ(testkit::Strings(), testkit::SaveTempsOf(link));

    // An administrator's own permissions: everyone may change it, nothing inherited.
    EXPLICIT_ACCESS_A everyone = {};
    BuildExplicitAccessWithNameA(&everyone, const_cast<char*>("Everyone"), GENERIC_ALL, SET_ACCESS, NO_INHERITANCE);
    PACL acl = nullptr;
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), SetEntriesInAclA(1, &everyone, nullptr, &acl));
    SECURITY_DESCRIPTOR sd;
    InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE);
    ASSERT_TRUE(SetFileSecurityA(real.c_str(), DACL_SECURITY_INFORMATION, &sd));
    LocalFree(acl);
    const std::string own = Permissions(real), fresh = testkit::TempPath("zelvano-fresh");
    ASSERT_TRUE(testkit::WriteFile(fresh, ""));
    ASSERT_NE(Permissions(fresh), own);
    DeleteFileA(fresh.c_str());

    // Beside it: the leftovers of a save that ended (named for no process) and of an earlier version,
    // one held open by its program, one named for a running program, and a file of the user's own.
    testkit::TargetApp running({"W:走る窓", "B:x"});
    ASSERT_TRUE(running.Ready());
    char live[16];
    std::snprintf(live, sizeof(live), "%lX", running.ProcessId());
    const std::string gone[] = {real + ".7FFFFFFC-0.tmp", real + ".tmp"};
    const std::string stay[] = {real + ".7FFFFFF8-1.tmp", real + "." + live + "-0.tmp", real + ".bak.tmp"};
    for (const std::string& file : gone)
        ASSERT_TRUE(testkit::WriteFile(file, "[BUTTON]\r\nBTN1=残骸,x\r\n"));
    for (const std::string& file : stay)
        ASSERT_TRUE(testkit::WriteFile(file, "[BUTTON]\r\nBTN1=残骸,x\r\n"));
    HANDLE hHeld = CreateFileA(stay[0].c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    CProfileFile profile;
    profile.SetName(real.c_str());
    EXPECT_TRUE(WriteOne(profile, "BTN2", "二,w"));
    CloseHandle(hHeld);
    EXPECT_EQ("[BUTTON]\r\nBTN1=後,z\r\nBTN2=二,w\r\n", testkit::ReadFile(real));
    EXPECT_EQ(own, Permissions(real));
    for (const std::string& file : gone)
        EXPECT_FALSE(Exists(file)) << file;
    for (const std::string& file : stay) {
        EXPECT_TRUE(Exists(file)) << file;
        DeleteFileA(file.c_str());
    }
    // Wine deletes the file a link names: the link goes once that is gone.
    DeleteFileA(real.c_str());
    DeleteFileA(link.c_str());
}
