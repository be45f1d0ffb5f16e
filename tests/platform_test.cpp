#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "res/resource.h"
#include "tests/testkit.h"

namespace {

std::string S(const CString& s)
{
    return std::string(s.GetString(), static_cast<size_t>(s.GetLength()));
}

}  // namespace

TEST(Platform, AnsiCodePageIs932)
{
    EXPECT_EQ(932u, GetACP());
}

// Everything below relies on narrow literals reaching the program as CP932,
// trail bytes 0x5C included.
TEST(Platform, LiteralsAreCp932)
{
    EXPECT_EQ(std::string("\x95\x5C\x83\x5C"), std::string("表ソ"));
    EXPECT_EQ(std::string("\xB3\xA8\xDD\xC4\xDE"), std::string("ｳｨﾝﾄﾞ"));
}

TEST(CStringText, FindCharSkipsTrailBytes)
{
    struct Case {
        const char* text;
        char ch;
        int expected;
    } cases[] = {
        {"表", '\\', -1},      {"ソ", '\\', -1},     {"表\\", '\\', 2},
        {"ソ,表,", ',', 2},     {"表示ソフト,OK", ',', 10},
        {"ア", 'A', -1},       {"アA", 'A', 2},       // 0x83 0x41: trail byte 'A'
        {"ｱ\\", '\\', 1},      // half-width kana are single bytes
        {"a\\b", '\\', 1},     {"", ',', -1},         {"表示", 'x', -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, CString(c.text).Find(c.ch)) << c.text << " / " << c.ch;
}

TEST(CStringText, FindTextSkipsTrailBytes)
{
    struct Case {
        const char* text;
        const char* sub;
        int expected;
    } cases[] = {
        {"表ソ\\", "\\", 4},    {"ソ", "\\", -1},     {"表示,ソフト", ",ソ", 4},
        {"アA", "A", 2},        {"表\\\\", "\\\\", 2},  // the first '\' of the pair is a trail
        {"abc", "d", -1},       {"ab", "abc", -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, CString(c.text).Find(c.sub)) << c.text << " / " << c.sub;
    EXPECT_EQ(-1, CString("abc").Find(static_cast<const char*>(nullptr)));
}

TEST(CStringText, LeftAndMidClampToTheText)
{
    const CString s("表示ab");  // 6 bytes
    EXPECT_EQ("", S(s.Left(-1)));
    EXPECT_EQ("", S(s.Left(0)));
    EXPECT_EQ("表", S(s.Left(2)));
    EXPECT_EQ("表示ab", S(s.Left(100)));
    EXPECT_EQ("表示ab", S(s.Mid(-3)));
    EXPECT_EQ("ab", S(s.Mid(4)));
    EXPECT_EQ("", S(s.Mid(6)));
    EXPECT_EQ("", S(s.Mid(100)));
    EXPECT_EQ("示", S(s.Mid(2, 2)));
    EXPECT_EQ("表", S(s.Mid(-1, 2)));
    EXPECT_EQ("ab", S(s.Mid(4, 100)));
    EXPECT_EQ("", S(s.Mid(0, -1)));
    EXPECT_EQ("", S(s.Mid(100, 1)));
    EXPECT_EQ("", S(CString().Left(3)));
    EXPECT_EQ("", S(CString().Mid(0)));
}

TEST(CStringText, Format)
{
    CString s;
    s.Format("%d)%s", 12, "表");
    EXPECT_EQ("12)表", S(s));
    s.Format("%sの%d", "ソ", 5);
    EXPECT_EQ("ソの5", S(s));
    s.Format("%4d-%02d-%02d", 2000, 1, 2);
    EXPECT_EQ("2000-01-02", S(s));
    s.Format("100%%");
    EXPECT_EQ("100%", S(s));
    // No fixed buffer: a long result comes out whole.
    std::string longText(5000, 'x');
    longText += "表";
    s.Format("[%s]", longText.c_str());
    EXPECT_EQ("[" + longText + "]", S(s));
    s.Format("%s", "");
    EXPECT_TRUE(s.IsEmpty());
}

TEST(CStringText, LoadStringFromResources)
{
    CString s;
    ASSERT_TRUE(s.LoadString(IDS_SETTINGS_ITEM));
    EXPECT_EQ("設定とﾊﾞｰｼﾞｮﾝ情報 (&A)", S(s));
    s = "old";
    EXPECT_FALSE(s.LoadString(9999));
    EXPECT_TRUE(s.IsEmpty());
}

TEST(CStringListTest, KeepsOrderAndEmpties)
{
    CStringList list;
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(nullptr, list.GetHeadPosition());
    for (const char* s : {"表", "ソ", "a,b"})
        list.AddTail(s);
    ASSERT_EQ(3, list.GetCount());
    std::vector<std::string> seen;
    for (POSITION pos = list.GetHeadPosition(); pos;)
        seen.push_back(S(list.GetNext(pos)));
    EXPECT_EQ((std::vector<std::string>{"表", "ソ", "a,b"}), seen);

    list.RemoveAll();
    EXPECT_EQ(0, list.GetCount());
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(nullptr, list.GetHeadPosition());
    // Usable again after emptying: the tail must have been reset too.
    list.AddTail("new");
    ASSERT_EQ(1, list.GetCount());
    POSITION pos = list.GetHeadPosition();
    EXPECT_EQ("new", S(list.GetNext(pos)));
    EXPECT_EQ(nullptr, pos);
}

// --- dialogs: message map, modal loop, owner -----------------------------

namespace {

// WM_APP's wParam says what to do, so one map entry drives the tests.
enum : WPARAM { kRecord = 1, kSwallow = 2, kEnd = 3, kWatchdog = 99 };
const int kEndResult = 5;
const int kOkResult = 77;
const int kWatchdogResult = -99;

class ProbeDlg : public CDialog {
public:
    explicit ProbeDlg(CWnd* pParent = nullptr) : CDialog(IDD_REPORT, pParent) {}

    std::function<void(ProbeDlg&)> onInit;
    std::vector<std::string> log;
    // When the window began to hide: the first step after the modal loop.
    // (Timing DoModal's return would include Wine's wait of up to 2 s for a
    // hidden window to be withdrawn when no window manager runs.)
    std::atomic<DWORD> hiddenAt{0};

    BOOL PreTranslateMessage(MSG* pMsg) override
    {
        if (pMsg->message == WM_APP && pMsg->hwnd == m_hWnd) {
            log.push_back("pre " + std::to_string(pMsg->wParam));
            if (pMsg->wParam == kSwallow)
                return TRUE;
        }
        return CDialog::PreTranslateMessage(pMsg);
    }

    // Ends a modal loop that hangs, so a fault fails the test instead of timing it out.
    INT_PTR DoModalGuarded()
    {
        HANDLE hDone = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
        std::thread watchdog([this, hDone] {
            if (::WaitForSingleObject(hDone, 5000) == WAIT_TIMEOUT)
                ::PostMessageA(m_hWnd, WM_APP, kWatchdog, 0);
        });
        INT_PTR r = DoModal();
        ::SetEvent(hDone);
        watchdog.join();
        ::CloseHandle(hDone);
        return r;
    }

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_WINDOWPOSCHANGING && !hiddenAt &&
            (reinterpret_cast<WINDOWPOS*>(lParam)->flags & SWP_HIDEWINDOW))
            hiddenAt = ::GetTickCount();
        return CDialog::WindowProc(message, wParam, lParam);
    }
    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        if (onInit)
            onInit(*this);
        return TRUE;
    }
    void OnSize(UINT /*nType*/, int cx, int cy)
    {
        log.push_back("size " + std::to_string(cx) + "x" + std::to_string(cy));
    }
    void OnOkCommand()
    {
        log.push_back("ok");
        EndDialog(kOkResult);
    }
    void OnApp(WPARAM wParam)
    {
        log.push_back("dispatch " + std::to_string(wParam));
        if (wParam == kEnd)
            EndDialog(kEndResult);
        if (wParam == kWatchdog)
            EndDialog(kWatchdogResult);
    }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(ProbeDlg, CDialog)
    ON_WM_SIZE()
    ON_COMMAND(IDOK, OnOkCommand)
    {WM_APP, 0, 0, AFX_THUNK(pThis->OnApp(wParam); return 0;)},
END_MESSAGE_MAP()

void PostApp(HWND hWnd, WPARAM what)
{
    ::PostMessageA(hWnd, WM_APP, what, 0);
}

LRESULT CALLBACK PlainProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    return ::DefWindowProcA(hWnd, message, wParam, lParam);
}

HWND MakeTopLevel(int x, int y, int cx, int cy)
{
    static ATOM atom = [] {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = PlainProc;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.lpszClassName = "ZelvanoPlatformTestWnd";
        return ::RegisterClassA(&wc);
    }();
    (void)atom;
    return ::CreateWindowExA(0, "ZelvanoPlatformTestWnd", "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                             x, y, cx, cy, nullptr, nullptr, ::GetModuleHandleA(nullptr), nullptr);
}

}  // namespace

TEST(MessageMap, DispatchesMappedAndDefaultsTheRest)
{
    ProbeDlg dlg;
    LRESULT defId = 0;
    CString text;
    CRect client;
    dlg.onInit = [&](ProbeDlg& d) {
        // Unmapped messages must still reach the dialog's default handling.
        defId = d.SendMessage(DM_GETDEFID);
        d.SetWindowText("表示ソ");
        d.GetWindowText(text);
        ::MoveWindow(d, 10, 10, 420, 260, TRUE);
        d.GetClientRect(client);
        // The derived map's IDOK entry comes before CDialog's.
        ::PostMessageA(d, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    };
    EXPECT_EQ(kOkResult, dlg.DoModalGuarded());
    EXPECT_EQ(MAKELONG(IDOK, DC_HASDEFID), defId);
    EXPECT_EQ("表示ソ", S(text));
    std::string size = "size " + std::to_string(client.Width()) + "x" + std::to_string(client.Height());
    EXPECT_NE(std::find(dlg.log.begin(), dlg.log.end(), size), dlg.log.end()) << size;
    EXPECT_EQ("ok", dlg.log.back());
}

TEST(MessageMap, UnmappedCommandFallsThroughToTheBaseMap)
{
    // IDCANCEL is only in CDialog's map.
    ProbeDlg dlg;
    dlg.onInit = [](ProbeDlg& d) { ::PostMessageA(d, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0); };
    EXPECT_EQ(IDCANCEL, dlg.DoModalGuarded());
}

TEST(ModalLoop, PreTranslateSeesPostedMessagesBeforeDispatch)
{
    ProbeDlg dlg;
    dlg.onInit = [](ProbeDlg& d) {
        PostApp(d, kRecord);
        PostApp(d, kSwallow);
        PostApp(d, kEnd);
    };
    EXPECT_EQ(kEndResult, dlg.DoModalGuarded());
    EXPECT_EQ((std::vector<std::string>{"pre 1", "dispatch 1", "pre 2", "pre 3", "dispatch 3"}),
              dlg.log);
}

TEST(ModalLoop, EscapeEndsWithCancel)
{
    ProbeDlg dlg;
    dlg.onInit = [](ProbeDlg& d) { ::PostMessageA(d, WM_KEYDOWN, VK_ESCAPE, 0); };
    EXPECT_EQ(IDCANCEL, dlg.DoModalGuarded());
}

namespace {
BOOL CALLBACK AnyUpdateProc(HWND hWnd, LPARAM lParam)
{
    if (::GetUpdateRect(hWnd, nullptr, FALSE))
        *reinterpret_cast<bool*>(lParam) = true;
    return TRUE;
}

// Shown, active and fully painted: nothing left that would wake the modal loop.
bool Settled(HWND hDlg)
{
    if (!::IsWindowVisible(hDlg) || ::GetForegroundWindow() != hDlg ||
        ::GetUpdateRect(hDlg, nullptr, FALSE))
        return false;
    bool pending = false;
    ::EnumChildWindows(hDlg, AnyUpdateProc, reinterpret_cast<LPARAM>(&pending));
    return !pending;
}
}  // namespace

TEST(ModalLoop, EndDialogInsideASentMessageEndsTheLoopPromptly)
{
    ProbeDlg dlg;
    std::thread sender;
    std::atomic<DWORD> sentAt{0};
    dlg.onInit = [&](ProbeDlg& d) {
        HWND hDlg = d;
        // A sent message is handled inside GetMessage, which does not return
        // for it: only a posted message wakes an idle loop.
        sender = std::thread([hDlg, &sentAt] {
            testkit::WaitFor([hDlg] { return Settled(hDlg); }, 3000);
            sentAt = ::GetTickCount();
            ::SendMessageA(hDlg, WM_APP, kEnd, 0);
        });
    };
    INT_PTR r = dlg.DoModalGuarded();
    sender.join();
    EXPECT_EQ(kEndResult, r);
    ASSERT_NE(0u, sentAt.load());
    ASSERT_NE(0u, dlg.hiddenAt.load());
    EXPECT_LT(dlg.hiddenAt - sentAt, 1000u);
    EXPECT_EQ((std::vector<std::string>{"dispatch 3"}), dlg.log);
}

TEST(ModalLoop, OwnerIsTheMainWindowAndTheDialogIsCentredOverIt)
{
    HWND hMain = MakeTopLevel(300, 200, 640, 480);
    HWND hOther = MakeTopLevel(100, 100, 500, 400);
    HWND hChild = ::CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 5, 5, 50, 20, hMain,
                                    nullptr, ::GetModuleHandleA(nullptr), nullptr);
    ASSERT_TRUE(hMain && hOther && hChild);
    CWnd mainWnd(hMain), childWnd(hChild), otherWnd(hOther);

    struct Case {
        CWnd* pMainWnd;
        CWnd* pParent;
        HWND expectedOwner;
    } cases[] = {
        {&mainWnd, nullptr, hMain},
        {&childWnd, nullptr, hMain},  // taken at its top-level window
        {&mainWnd, &otherWnd, hOther},  // a parent given wins
    };
    for (const Case& c : cases) {
        AfxGetApp()->m_pMainWnd = c.pMainWnd;
        ProbeDlg dlg(c.pParent);
        HWND owner = nullptr;
        CRect rc;
        BOOL ownerEnabled = TRUE;
        dlg.onInit = [&](ProbeDlg& d) {
            owner = ::GetWindow(d, GW_OWNER);
            d.GetWindowRect(rc);
            ownerEnabled = ::IsWindowEnabled(c.expectedOwner);
            PostApp(d, kEnd);
        };
        EXPECT_EQ(kEndResult, dlg.DoModalGuarded());
        EXPECT_EQ(c.expectedOwner, owner);
        CRect rcOwner;
        ::GetWindowRect(c.expectedOwner, &rcOwner);
        EXPECT_NEAR((rcOwner.left + rcOwner.right) / 2, (rc.left + rc.right) / 2, 1);
        EXPECT_NEAR((rcOwner.top + rcOwner.bottom) / 2, (rc.top + rc.bottom) / 2, 1);
        EXPECT_FALSE(ownerEnabled) << "the owner is disabled while the dialog runs";
        EXPECT_TRUE(::IsWindowEnabled(c.expectedOwner));
    }
    AfxGetApp()->m_pMainWnd = nullptr;
    ::DestroyWindow(hMain);
    ::DestroyWindow(hOther);
}

// --- the profile ---------------------------------------------------------

TEST(Profile, JapaneseValuesRoundTrip)
{
    CWinApp* pApp = AfxGetApp();
    const char* values[] = {"表", "ソ", "表示\\ソフト", "能力", "予定表,ソ", "ﾊﾞｰｼﾞｮﾝ 表", "a\\b\\"};
    int n = 0;
    for (const char* v : values) {
        std::string key = "K" + std::to_string(n++);
        ASSERT_TRUE(pApp->WriteProfileString("表セクション", key.c_str(), v)) << v;
    }
    ASSERT_TRUE(pApp->WriteProfileString("表セクション", "キーソ", "ソ表"));
    n = 0;
    for (const char* v : values) {
        std::string key = "K" + std::to_string(n++);
        EXPECT_EQ(v, S(pApp->GetProfileString("表セクション", key.c_str()))) << v;
    }
    EXPECT_EQ("ソ表", S(pApp->GetProfileString("表セクション", "キーソ")));
    EXPECT_EQ("def", S(pApp->GetProfileString("表セクション", "missing", "def")));
    EXPECT_EQ("", S(pApp->GetProfileString("no such section", "K0")));
    // Stored in the ANSI code page, as other tools reading the file expect.
    std::string file = testkit::ReadFile(pApp->m_pszProfileName);
    EXPECT_NE(std::string::npos, file.find("=表示\\ソフト")) << file;
}

TEST(Profile, LongValuesAreReadWhole)
{
    CWinApp* pApp = AfxGetApp();
    std::vector<std::string> values;
    for (size_t len : {4094u, 4095u, 4096u, 4097u, 9000u}) {
        std::string v;
        for (size_t i = 0; i < len; ++i)
            v += static_cast<char>('a' + i % 26);
        values.push_back(v);
    }
    std::string wide;
    for (int i = 0; i < 3000; ++i)
        wide += "表";
    values.push_back(wide);
    values.push_back("a" + wide);  // double-byte characters straddle the first buffer's end
    int n = 0;
    for (const std::string& v : values) {
        std::string key = "L" + std::to_string(n++);
        ASSERT_TRUE(pApp->WriteProfileString("BUTTON", key.c_str(), v.c_str()));
    }
    n = 0;
    for (const std::string& v : values) {
        std::string key = "L" + std::to_string(n++);
        std::string got = S(pApp->GetProfileString("BUTTON", key.c_str()));
        EXPECT_EQ(v.size(), got.size()) << key;
        EXPECT_TRUE(v == got) << key;
    }
}
