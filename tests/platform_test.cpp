#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>

#include <shlobj.h>

#include "platform/platform.h"
#include "res/resource.h"
#include "tests/testkit.h"

namespace {
const auto S = testkit::Str;

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
    CProfileFile profile;
    const std::string system = testkit::TempPath("zelvano-system") + ".ini";
    const std::string store = testkit::TempPath("zelvano-store") + ".INI";
    profile.SetPaths(system.c_str(), store.c_str());
    const std::string admin = "[BUTTON]\r\nBTN1=system,one\r\n";
    ASSERT_TRUE(testkit::WriteFile(system, admin));
    EXPECT_EQ(system, S(profile.GetPath()));
    EXPECT_EQ("system,one", S(profile.GetString("BUTTON", "BTN1", "")));

    // Held open for reading by another program, as an editor or a virus scanner
    // does: it still reads, and the write is refused, with no store as this is
    // no lack of access.
    HANDLE hLock = CreateFileA(system.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hLock);
    EXPECT_FALSE(profile.WriteString("BUTTON", "BTN1", "lost,entry"));
    EXPECT_EQ("system,one", S(profile.GetString("BUTTON", "BTN1", "")));
    CloseHandle(hLock);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(store.c_str()));

    // Once the store exists, reads and writes go there and the system profile stays as it was.
    ASSERT_TRUE(testkit::WriteFile(store, "[BUTTON]\r\nBTN1=store,one\r\n"));
    EXPECT_EQ(store, S(profile.GetPath()));
    EXPECT_EQ("store,one", S(profile.GetString("BUTTON", "BTN1", "")));
    EXPECT_TRUE(profile.WriteString("BUTTON", "BTN2", " store two "));
    EXPECT_EQ("[BUTTON]\r\nBTN1=store,one\r\nBTN2=\" store two \"\r\n", testkit::ReadFile(store));
    EXPECT_EQ(admin, testkit::ReadFile(system));
    DeleteFileA(system.c_str());
    DeleteFileA(store.c_str());
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
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.utf8, IsUtf8ProfileText(c.bytes.data(), c.bytes.size())) << c.bytes;
}

namespace {

using testkit::Exists;

// Makes one step of a save fail, or cuts the temporary file short there and lets the save go on.
struct SaveFault {
    ProfileSaveStep step;
    int key;      // at PROFILE_SAVE_KEY: after this many keys
    int cutBy;    // bytes cut off the end, the step reporting success; 0: the step fails
    int keys = 0;
    bool reached = false, tempAtReplaced = true;

    static bool Hook(ProfileSaveStep step, const char* pszTemp, void* pContext)
    {
        SaveFault& f = *static_cast<SaveFault*>(pContext);
        if (step == PROFILE_SAVE_KEY && ++f.keys != f.key)
            return true;
        if (step == PROFILE_SAVE_REPLACED)
            f.tempAtReplaced = Exists(pszTemp);
        if (step != f.step)
            return true;
        f.reached = true;
        if (f.cutBy == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        HANDLE h = CreateFileA(pszTemp, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        LARGE_INTEGER size = {};
        GetFileSizeEx(h, &size);
        size.QuadPart -= f.cutBy;
        SetFilePointerEx(h, size, nullptr, FILE_BEGIN);
        SetEndOfFile(h);
        CloseHandle(h);
        return true;
    }
};

}  // namespace

// Wherever a save fails, the profile keeps its old bytes and no temporary file is left; once it is in
// place, it is whole. A write that is cut short and reported as done, as the profile functions do at a
// full disk, is caught wherever the cut falls: in the list or in a section after it. Code page 932 and
// UTF-16 LE files alike; the other sections, keys and comments stay.
TEST(Profile, ASaveLeavesTheOldBytesOrTheWholeNewFileWhereverItFails)
{
    const std::string text = "; 自分のメモ\r\n[前]\r\nα=1\r\n[BUTTON]\r\nBTN1=古い窓,押す\r\nBTN2=表\\,ソ\r\n"
                             "BTN3=\r\nメモ=残す\r\n[後]\r\n鍵=最後の値\r\n";
    CArray<CProfileValue> values;
    for (int i = 1; i <= 40; ++i)
        values.Add(CProfileValue{("BTN" + std::to_string(i)).c_str(), ("新しい窓 " + std::to_string(i) + ",ボタン").c_str()});
    values.Add(CProfileValue{"BTN41", ""});
    const SaveFault faults[] = {
        {PROFILE_SAVE_COPIED, 0, 0},   {PROFILE_SAVE_KEY, 1, 0},      {PROFILE_SAVE_KEY, 20, 0},
        {PROFILE_SAVE_WRITTEN, 0, 0},  {PROFILE_SAVE_WRITTEN, 0, 8},  {PROFILE_SAVE_WRITTEN, 0, 700},
        {PROFILE_SAVE_KEY, 41, 30},    {PROFILE_SAVE_CHECKED, 0, 0},  {PROFILE_SAVE_REPLACED, 0, 0},
    };
    for (const std::string& old : {text, testkit::Utf16(text)}) {
        for (SaveFault fault : faults) {
            SCOPED_TRACE(std::to_string(old.size()) + " bytes, step " + std::to_string(fault.step) + ", key " +
                         std::to_string(fault.key) + ", cut by " + std::to_string(fault.cutBy));
            const std::string path = testkit::TempPath("zelvano-save") + ".INI";
            ASSERT_TRUE(testkit::WriteFile(path, old));
            CProfileFile profile;
            profile.SetPaths(path.c_str(), "");
            profile.SetSaveHook(SaveFault::Hook, &fault);
            const BOOL saved = profile.WriteStrings("BUTTON", values);
            EXPECT_TRUE(fault.reached);
            EXPECT_FALSE(Exists(S(CProfileFile::SaveTempPath(path.c_str()))));
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
                EXPECT_NE(std::string::npos, now.find(old.substr(2, 12)));  // the comment, in either coding
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
    const std::string path = testkit::TempPath("zelvano-save") + ".INI", temp = path + ".tmp";
    const std::string store = testkit::TempPath("zelvano-save-store") + ".INI";
    CProfileFile profile;
    profile.SetPaths(path.c_str(), "");
    ASSERT_TRUE(testkit::WriteFile(path, "[BUTTON]\r\nBTN1=古い窓,押す\r\n"));
    ASSERT_TRUE(testkit::WriteFile(temp, "[BUTTON]\r\nBTN1=残骸,x\r\nBTN2=残骸,y\r\n"));
    SetFileAttributesA(temp.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ("古い窓,押す", S(profile.GetString("BUTTON", "BTN1", "-")));
    EXPECT_EQ("-", S(profile.GetString("BUTTON", "BTN2", "-")));
    EXPECT_TRUE(profile.WriteString("BUTTON", "BTN1", "新しい窓,押す"));
    EXPECT_EQ("[BUTTON]\r\nBTN1=新しい窓,押す\r\n", testkit::ReadFile(path));
    EXPECT_FALSE(Exists(temp));
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN), GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_HIDDEN);

    std::thread holder([&] {
        HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        Sleep(100);
        CloseHandle(h);
    });
    Sleep(20);
    EXPECT_TRUE(profile.WriteString("BUTTON", "BTN2", "待った窓,押す"));
    holder.join();
    EXPECT_EQ("[BUTTON]\r\nBTN1=新しい窓,押す\r\nBTN2=待った窓,押す\r\n", testkit::ReadFile(path));

    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
    const std::string kept = testkit::ReadFile(path);
    SetLastError(0);
    EXPECT_FALSE(profile.WriteString("BUTTON", "BTN1", "拒まれる,押す"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_EQ(kept, testkit::ReadFile(path));
    EXPECT_FALSE(Exists(temp));

    profile.SetPaths(path.c_str(), store.c_str());
    EXPECT_TRUE(profile.WriteString("BUTTON", "BTN1", "店の窓,押す"));
    EXPECT_EQ(kept, testkit::ReadFile(path));
    EXPECT_EQ("[BUTTON]\r\nBTN1=店の窓,押す\r\nBTN2=待った窓,押す\r\n", testkit::ReadFile(store));
    EXPECT_EQ(0u, GetFileAttributesA(store.c_str()) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_FALSE(Exists(temp) || Exists(store + ".tmp"));
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
    DeleteFileA(store.c_str());
}
