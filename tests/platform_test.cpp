#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <shlobj.h>

#include "platform/platform.h"
#include "res/resource.h"
#include "tests/testkit.h"

namespace {
const auto S = testkit::Str;
std::string N(int n) { return std::to_string(n); }
}  // namespace

TEST(CStringText, FindSkipsTrailBytesLeftMidClampAndSelfCopiesHold)
{
    // Everything relies on CP932, in literals and resources alike (trail byte 0x5C).
    ASSERT_EQ(932u, GetACP());
    ASSERT_EQ(std::string("\x95\x5C\x83\x5C"), std::string("表ソ"));
    const CString s("表示ab");
    const std::pair<std::string, std::string> cases[] = {
        {N(CString("表").Find('\\')), "-1"}, {N(CString("ソ").Find('\\')), "-1"}, {N(CString("表\\").Find('\\')), "2"},
        {N(CString("アA").Find('A')), "2"},  // 0x83 0x41
        {N(CString("ｱ\\").Find('\\')), "1"}, {N(CString("表示ソフト,OK").Find(',')), "10"},
        {N(CString("表ソ\\").Find("\\")), "4"}, {N(CString("表\\\\").Find("\\\\")), "2"},
        {S(s.Left(-1)), ""}, {S(s.Left(2)), "表"}, {S(s.Left(100)), "表示ab"}, {S(s.Mid(-3)), "表示ab"},
        {S(s.Mid(6)), ""}, {S(s.Mid(100)), ""}, {S(s.Mid(-1, 2)), "表"}, {S(s.Mid(4, 100)), "ab"},
        {S(s.Mid(0, -1)), ""},
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i)
        EXPECT_EQ(cases[i].second, cases[i].first) << "case " << i;

    // The text's own bytes as the source, while it grows and while it shrinks.
    CString t = s;
    t += t;
    t = t.GetString() + 2;
    EXPECT_EQ("示ab表示ab", S(t));
    CString f;
    f.Format("%s%d", std::string(300, 'x').c_str(), -7);
    EXPECT_EQ(std::string(300, 'x') + "-7", S(f));
}

namespace {
enum : WPARAM { kRecord = 1, kSwallow = 2, kEnd = 3 };

struct ProbeDlg : CDialog {
    ProbeDlg() : CDialog(IDD_REPORT) {}
    std::function<void(ProbeDlg&)> onInit;
    std::vector<std::string> log;

    BOOL PreTranslateMessage(MSG* pMsg) override
    {
        if (pMsg->message == WM_APP && pMsg->hwnd == m_hWnd) {
            log.push_back("pre " + N(static_cast<int>(pMsg->wParam)));
            if (pMsg->wParam == kSwallow)
                return TRUE;
        }
        return CDialog::PreTranslateMessage(pMsg);
    }
    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        ::SetTimer(m_hWnd, 1, 5000, nullptr);  // a hanging loop fails instead of timing out
        if (onInit)
            onInit(*this);
        return TRUE;
    }
    void OnOkCommand() { log.push_back("ok"); EndDialog(77); }
    void OnApp(WPARAM w) { log.push_back("dispatch " + N(static_cast<int>(w))); if (w == kEnd) EndDialog(5); }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(ProbeDlg, CDialog)
    ON_COMMAND(IDOK, OnOkCommand)
    {WM_APP, 0, 0, AFX_THUNK(pThis->OnApp(wParam); return 0;)},
    {WM_TIMER, 0, 0, AFX_THUNK(pThis->EndDialog(-99); return 0;)},
END_MESSAGE_MAP()
}  // namespace

// Posted messages: PreTranslateMessage first (TRUE swallows), then the
// derived map, then CDialog's map, then the dialog's default handling.
// Without a parent the owner is m_pMainWnd, taken at its top-level window.
TEST(ModalLoop, PostedMessagesOwnerAndPlace)
{
    HWND hMain = ::CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 300, 200, 640, 480,
                                   nullptr, nullptr, nullptr, nullptr);
    HWND hChild = ::CreateWindowExA(0, "STATIC", "", WS_CHILD, 5, 5, 50, 20, hMain, nullptr, nullptr, nullptr);
    ASSERT_TRUE(hMain && hChild);
    CWnd mainWnd(hMain), childWnd(hChild);
    CRect rcMain;
    ::GetWindowRect(hMain, &rcMain);
    const struct { UINT msg; WPARAM w; INT_PTR result; std::vector<std::string> log; CWnd* pMainWnd; } cases[] = {
        {WM_APP, 0, 5, {"pre 1", "dispatch 1", "pre 2", "pre 3", "dispatch 3"}, &mainWnd},
        {WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 77, {"ok"}, &childWnd},
        {WM_KEYDOWN, VK_ESCAPE, IDCANCEL, {}, &childWnd},
    };
    for (const auto& c : cases) {
        AfxGetApp()->m_pMainWnd = c.pMainWnd;
        ProbeDlg dlg;
        dlg.onInit = [&](ProbeDlg& d) {
            EXPECT_EQ(hMain, ::GetWindow(d, GW_OWNER));
            CRect rc;
            d.GetWindowRect(rc);
            EXPECT_NEAR(rcMain.left + rcMain.right, rc.left + rc.right, 2) << "centred over the owner";
            EXPECT_NEAR(rcMain.top + rcMain.bottom, rc.top + rc.bottom, 2);
            if (c.msg == WM_APP)
                for (WPARAM w : {kRecord, kSwallow, kEnd})
                    ::PostMessageA(d, WM_APP, w, 0);
            else
                ::PostMessageA(d, c.msg, c.w, 0);
        };
        EXPECT_EQ(c.result, dlg.DoModal()) << c.msg;
        EXPECT_EQ(c.log, dlg.log);
    }
    AfxGetApp()->m_pMainWnd = nullptr;
    ::DestroyWindow(hMain);
}

// A sent message is handled inside GetMessage without waking the loop, so the
// loop must notice the end itself (else the guard timer ends it with -99).
TEST(ModalLoop, EndDialogInsideASentMessageEndsTheLoop)
{
    ProbeDlg dlg;
    std::thread sender;
    dlg.onInit = [&](ProbeDlg& d) {
        sender = std::thread([hDlg = d.m_hWnd] {
            // Idle first: shown, active and painted, so nothing else wakes the loop.
            testkit::WaitFor([hDlg] {
                for (HWND h : {hDlg, ::GetDlgItem(hDlg, IDOK), ::GetDlgItem(hDlg, IDC_REPORT)})
                    if (::GetUpdateRect(h, nullptr, FALSE))
                        return false;
                return ::IsWindowVisible(hDlg) && ::GetForegroundWindow() == hDlg;
            }, 3000);
            ::SendMessageA(hDlg, WM_APP, kEnd, 0);
        });
    };
    EXPECT_EQ(5, dlg.DoModal());
    sender.join();
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
        ASSERT_TRUE(pApp->WriteProfileString("表セクション", ("K" + N(int(i))).c_str(), cases[i].value.c_str())) << i;
    const std::string file = testkit::ReadFile(pApp->m_pszProfileName);
    for (size_t i = 0; i < n; ++i) {
        const std::string key = "K" + N(int(i)), value = cases[i].value;
        EXPECT_EQ(value, S(pApp->GetProfileString("表セクション", key.c_str(), "-"))) << key;
        const std::string stored = cases[i].quoted ? "\"" + value + "\"" : value;
        EXPECT_NE(std::string::npos, file.find(key + "=" + stored + "\r\n")) << key;
    }
    EXPECT_EQ("def", S(pApp->GetProfileString("表セクション", "missing", "def")));
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
        {"\xC0\x80", false}, {"\xED\xA0\x80", false}, {"\xF4\x90\x80\x80", false}, {"\xE8\xA8", false},
        {"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.utf8, IsUtf8ProfileText(c.bytes.data(), c.bytes.size())) << c.bytes;
}
