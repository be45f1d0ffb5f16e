// The settings dialog with its real template, run on a thread of its own so the
// test thread can post input, answer boxes and read pixels meanwhile.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "app/report_dlg.h"
#include "platform/platform.h"
#include "res/resource.h"
#include "run/target_list.h"
#include "settings/settings_dlg.h"
#include "tests/testkit.h"

namespace {

using testkit::BoxText;
using testkit::CentreOf;
using testkit::FindBox;
using testkit::Strings;
const char kAppName[] = "zelvano-tests";
const COLORREF kColour = RGB(40, 160, 90), kInverted = RGB(255 - 40, 255 - 160, 255 - 90);
const UINT WM_TEST_RUN = WM_APP + 1;    // sent: runs the function lParam points to
const UINT WM_TEST_OPEN = WM_APP + 2;   // posted: opens the settings dialog
const UINT WM_TEST_FENCE = WM_APP + 3;  // posted: wParam is the fence number

class SettingsUnderTest : public CSettingsDlg {
public:
    using CSettingsDlg::m_bHighlighted;
    using CSettingsDlg::m_path;
    using CSettingsDlg::m_pPicker;
};

// Shared with the dialogs' thread; the objects are touched there only.
struct UiState {
    HANDLE hThread = nullptr;
    std::atomic<HWND> hHelper{nullptr}, hMain{nullptr}, hSettings{nullptr};
    std::atomic<int> closed{0};
    std::atomic<long> fenceDone{0};
    long fenceNext = 0;
    CReportDlg* pMain = nullptr;
    SettingsUnderTest* pDlg = nullptr;
    // What the dialog left when DoModal returned, before its destructor tidies.
    INT_PTR result = 0;
    bool bPickerLeft = false;
    int nHighlightLeft = 0;
    HWND hCaptureLeft = nullptr;
} g_ui;

LRESULT CALLBACK HelperProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_TEST_RUN) {
        (*reinterpret_cast<const std::function<void()>*>(lParam))();
    } else if (message == WM_TEST_OPEN) {
        SettingsUnderTest dlg;  // no parent, as from the system menu
        g_ui.pDlg = &dlg;
        g_ui.result = dlg.DoModal();
        g_ui.bPickerLeft = dlg.m_pPicker != nullptr;
        g_ui.nHighlightLeft = dlg.m_bHighlighted;
        g_ui.hCaptureLeft = ::GetCapture();
        g_ui.pDlg = nullptr, g_ui.hSettings = nullptr;
        ++g_ui.closed;
    } else if (message == WM_TEST_FENCE) {
        g_ui.fenceDone = static_cast<long>(wParam);
    } else {
        return ::DefWindowProcA(hWnd, message, wParam, lParam);
    }
    return 0;
}

DWORD WINAPI UiThreadProc(void*)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = HelperProc;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.lpszClassName = "ZelvanoSettingsTestHelper";
    ::RegisterClassA(&wc);
    wc.lpfnWndProc = ::DefWindowProcA;
    wc.hbrBackground = ::CreateSolidBrush(kColour);
    wc.lpszClassName = "ZelvanoSettingsProbe";
    ::RegisterClassA(&wc);
    g_ui.hHelper = ::CreateWindowExA(0, "ZelvanoSettingsTestHelper", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                     wc.hInstance, nullptr);
    {
        CReportDlg main;
        g_ui.pMain = &main;
        AfxGetApp()->m_pMainWnd = &main;
        main.DoModal();
        AfxGetApp()->m_pMainWnd = nullptr, g_ui.pMain = nullptr;
    }
    ::DestroyWindow(g_ui.hHelper.exchange(nullptr));
    return 0;
}

// Runs f on the dialogs' thread (sent messages are answered in every modal loop).
template <class F>
auto OnUi(F f) -> decltype(f())
{
    decltype(f()) r{};
    std::function<void()> fn = [&] { r = f(); };
    ::SendMessageA(g_ui.hHelper, WM_TEST_RUN, 0, reinterpret_cast<LPARAM>(&fn));
    return r;
}

// Waits until everything posted to the dialogs' thread so far was handled.
void Fence()
{
    long n = ++g_ui.fenceNext;
    ::PostMessageA(g_ui.hHelper, WM_TEST_FENCE, static_cast<WPARAM>(n), 0);
    testkit::WaitFor([n] { return g_ui.fenceDone >= n; });
}

// The colour in the middle of the client area.
COLORREF PixelOf(HWND hWnd)
{
    RECT rc = {};
    ::GetClientRect(hWnd, &rc);
    return testkit::PixelOf(hWnd, rc.right / 2, rc.bottom / 2);
}

// One more child window of the probe class; its centre on the screen.
CPoint AddChild(HWND hParent, const char* text, int x, int y, int cx, int cy)
{
    return CentreOf(OnUi([=] {
        HWND h = ::CreateWindowExA(0, "ZelvanoSettingsProbe", text, WS_CHILD | WS_VISIBLE, x, y, cx, cy, hParent,
                                   nullptr, ::GetModuleHandleA(nullptr), nullptr);
        return ::UpdateWindow(h), h;
    }));
}

// A top-level window of ours with one child, in the slot-th place (0 to 11)
// of the left strip of the screen, away from the dialogs in the middle.
struct Probe {
    HWND hFrame, hChild;
    CPoint childCentre, frameSpot;  // screen
};

Probe MakeProbe(int slot, const std::string& title, const char* childText, HWND hOwner = nullptr)
{
    Probe p = OnUi([&] {
        HINSTANCE hInst = ::GetModuleHandleA(nullptr);
        // Clipping the child keeps an inversion of the frame off it. Only a
        // pop-up's owner is its parent (GetParent).
        HWND f = ::CreateWindowExA(WS_EX_TOPMOST, "ZelvanoSettingsProbe", title.c_str(),
                                   WS_CAPTION | WS_CLIPCHILDREN | (hOwner ? WS_POPUP : WS_OVERLAPPED),
                                   5 + slot % 2 * 200, 5 + slot / 2 * 168, 190, 160, hOwner, nullptr, hInst, nullptr);
        HWND c = ::CreateWindowExA(0, "ZelvanoSettingsProbe", childText, WS_CHILD | WS_VISIBLE, 10, 10, 90, 50, f,
                                   reinterpret_cast<HMENU>(1), hInst, nullptr);
        ::ShowWindow(f, SW_SHOWNOACTIVATE);
        ::UpdateWindow(f);
        return Probe{f, c, CPoint(), CPoint()};
    });
    RECT rc = {};
    ::GetWindowRect(p.hFrame, &rc);
    p.childCentre = CentreOf(p.hChild);
    p.frameSpot = CPoint(rc.right - 30, rc.bottom - 20);
    return p;
}

class SettingsDialog : public ::testing::Test {
protected:
    void TearDown() override
    {
        if (!g_ui.hThread)
            return;
        EXPECT_TRUE(testkit::WaitFor([] {  // close from the top: a box, the settings, the main window
            HWND h = FindBox(::GetCurrentProcessId(), kAppName);
            ::PostMessageA(h ? h : g_ui.hSettings ? g_ui.hSettings.load() : g_ui.hMain.load(), WM_COMMAND, IDCANCEL, 0);
            return ::WaitForSingleObject(g_ui.hThread, 100) == WAIT_OBJECT_0;
        }, 15000));
        ::CloseHandle(g_ui.hThread);
        g_ui.hThread = nullptr;
    }

    // The main window reads its list from the profile at its start.
    void StartMain(const Strings& entries)
    {
        for (size_t i = 0; i < entries.size(); ++i)
            ASSERT_TRUE(WriteTarget(entries[i].c_str(), static_cast<int>(i)));
        g_ui.hThread = ::CreateThread(nullptr, 0, UiThreadProc, nullptr, 0, nullptr);
        ASSERT_TRUE(testkit::WaitFor([] {
            g_ui.hMain = g_ui.hHelper ? OnUi([] { return g_ui.pMain ? g_ui.pMain->m_hWnd : nullptr; }) : nullptr;
            return g_ui.hMain && ::IsWindowVisible(g_ui.hMain);
        }));
    }
    HWND OpenSettings()
    {
        ::PostMessageA(g_ui.hHelper, WM_TEST_OPEN, 0, 0);
        testkit::WaitFor([this] {
            m_hDlg = OnUi([] { return g_ui.pDlg ? g_ui.pDlg->m_hWnd : nullptr; });
            return m_hDlg && ::IsWindowVisible(m_hDlg);
        });
        return g_ui.hSettings = m_hDlg;
    }
    bool WaitClosed(int closings) { return testkit::WaitFor([=] { return g_ui.closed >= closings; }); }
    // Opens the settings again after setting the main list.
    HWND ReopenWith(const Strings& items)
    {
        OnUi([&] {
            g_ui.pMain->m_targets.RemoveAll();
            for (const std::string& s : items)
                g_ui.pMain->m_targets.AddTail(s.c_str());
            return 0;
        });
        return OpenSettings();
    }

    // Input, posted and fenced.
    HWND Item(int id) const { return ::GetDlgItem(m_hDlg, id); }
    void Post(HWND h, UINT msg, WPARAM w, LPARAM l) const { ::PostMessageA(h, msg, w, l), Fence(); }
    void Click(int id) const { Post(Item(id), BM_CLICK, 0, 0); }
    void PostKey(HWND h, UINT vk) const { ::PostMessageA(h, WM_KEYDOWN, vk, 1), Post(h, WM_KEYUP, vk, 0xC0000001); }
    void PostMouse(HWND h, UINT msg, CPoint at) const
    {
        if (h == m_hDlg)
            ::ScreenToClient(h, &at);  // dialog moves are given in screen points
        Post(h, msg, msg == WM_LBUTTONUP ? 0 : MK_LBUTTON, MAKELPARAM(at.x, at.y));
    }
    void Select(int i) const { ::SendMessageA(Item(IDC_TARGET_LIST), LB_SETCURSEL, i, 0); }
    void DoubleClick() const  // what the list box reports of a double-click
    {
        Post(m_hDlg, WM_COMMAND, MAKEWPARAM(IDC_TARGET_LIST, LBN_DBLCLK), (LPARAM)Item(IDC_TARGET_LIST));
    }
    // The real pointer goes along, as the platform makes up moves from its
    // place when windows change under it.
    void MoveTo(CPoint at, UINT msg = WM_MOUSEMOVE) const { ::SetCursorPos(at.x, at.y), PostMouse(m_hDlg, msg, at); }
    void PressMarker() const { MoveTo(CentreOf(Item(IDC_MARKER)), WM_LBUTTONDOWN); }
    void Release() const
    {
        POINT p = {};
        ::GetCursorPos(&p);
        PostMouse(m_hDlg, WM_LBUTTONUP, CPoint(p.x, p.y));
    }
    void PressConfirm() const { PostMouse(Item(IDC_CONFIRM), WM_LBUTTONDOWN, CPoint(5, 5)); }
    void ReleaseConfirm(CPoint at = CPoint(5, 5)) const { PostMouse(Item(IDC_CONFIRM), WM_LBUTTONUP, at); }

    // State: the list box and the field are asked directly, the rest on the dialogs' thread.
    Strings ListItems() const
    {
        Strings items;
        for (int i = 0, n = int(::SendMessageA(Item(IDC_TARGET_LIST), LB_GETCOUNT, 0, 0)); i < n; ++i) {
            char buf[512] = {};
            ::SendMessageA(Item(IDC_TARGET_LIST), LB_GETTEXT, i, reinterpret_cast<LPARAM>(buf));
            items.push_back(buf);
        }
        return items;
    }
    int Selection() const { return int(::SendMessageA(Item(IDC_TARGET_LIST), LB_GETCURSEL, 0, 0)); }
    std::string Field() const { return testkit::WindowTextOf(Item(IDC_PATH)); }
    Strings Targets() const { return OnUi([] { return testkit::Items(g_ui.pMain->m_targets); }); }
    std::string Path() const { return OnUi([] { return testkit::Str(g_ui.pDlg->m_path); }); }
    void SetPath(const std::string& p) const { OnUi([p] { return g_ui.pDlg->m_path = p.c_str(), 0; }); }
    int Highlighted() const { return OnUi([] { return g_ui.pDlg->m_bHighlighted; }); }
    bool Dragging() const { return OnUi([] { return g_ui.pDlg->m_pPicker != nullptr; }); }
    std::string ProfileBytes() const { return testkit::ReadFile(AfxGetApp()->m_pszProfileName); }

    HWND WaitForBox() const { return testkit::WaitBox(::GetCurrentProcessId(), kAppName, 5000); }
    void Answer(HWND hBox, int id) const
    {
        ::PostMessageA(hBox, WM_COMMAND, id, 0);
        EXPECT_TRUE(testkit::WaitFor([hBox] { return !::IsWindow(hBox); }));
        Fence();
    }

    HWND m_hDlg = nullptr;
};

// One value with blanks at its ends: OK must store it quoted, as reads drop them.
const Strings kFive = {"メモ帳,保存", "Calc,=", "Mail,Send", "Viewer,Next", " Shell,Run "};

// Cancel, Esc and the close box drop the edits; Delete and a double-click act
// on the selection, and OK saves the shrunk list.
TEST_F(SettingsDialog, OpensOnTheMainListWhoseEditsCancelDropsAndOkSaves)
{
    StartMain(kFive);
    const std::string profile = ProfileBytes();
    for (int way = 0; way < 3; ++way) {
        SCOPED_TRACE(way);
        ASSERT_TRUE(OpenSettings());
        SetPath("New,Path");
        Click(IDC_ADD);
        Select(0), Click(IDC_DELETE);
        if (way == 0)
            Click(IDC_CANCEL_BUTTON);
        else if (way == 1)
            PostKey(Item(IDC_TARGET_LIST), VK_ESCAPE);
        else
            Post(m_hDlg, WM_SYSCOMMAND, SC_CLOSE, 0);
        ASSERT_TRUE(WaitClosed(way + 1));
        EXPECT_EQ(IDCANCEL, g_ui.result);
        EXPECT_EQ(kFive, Targets());
        EXPECT_EQ(profile, ProfileBytes());
    }
    ASSERT_TRUE(OpenSettings());
    EXPECT_EQ("設定とﾊﾞｰｼﾞｮﾝ情報", testkit::WindowTextOf(m_hDlg));
    const std::string banner = testkit::WindowTextOf(Item(IDC_BANNER));
    EXPECT_EQ(0u, banner.find("Zelvano Ver 0.03 1999.08.04\r\n")) << banner;
    EXPECT_NE(std::string::npos, banner.find("\r\n\r\n", 28)) << banner;  // third line empty
    EXPECT_EQ(kFive, ListItems());
    EXPECT_EQ("", Field());
    SetPath("Calc,=");
    Click(IDC_DELETE);  // nothing selected
    DoubleClick();
    EXPECT_EQ(kFive, ListItems());
    EXPECT_EQ("Calc,=", Path());
    Select(1), Click(IDC_DELETE);
    EXPECT_EQ((Strings{"メモ帳,保存", "Mail,Send", "Viewer,Next", " Shell,Run "}), ListItems());
    Select(1), DoubleClick();
    EXPECT_EQ("Mail,Send", Path());
    EXPECT_EQ("Mail,Send", Field());
    for (int index : {0, 1})  // メモ帳, then Viewer: two left of five
        Select(index), Click(IDC_DELETE);
    Click(IDOK);
    ASSERT_TRUE(WaitClosed(4));
    EXPECT_EQ(IDOK, g_ui.result);
    EXPECT_EQ("[BUTTON]\r\nBTN1=Mail,Send\r\nBTN2=\" Shell,Run \"\r\nBTN3=\r\nBTN4=Viewer,Next\r\nBTN5=\" Shell,Run \"\r\n",
              ProfileBytes());
    EXPECT_EQ((Strings{"Mail,Send", " Shell,Run "}), Targets());
}

TEST_F(SettingsDialog, AddSelectsAMatchInAnyCaseOrAppends)
{
    const struct { Strings items; int selected; std::string path; Strings after; int selectedAfter; } cases[] = {
        {{"Editor,Save", "Calc,OK"}, 1, "", {"Editor,Save", "Calc,OK"}, 1},
        {{"Editor,Save", "Calc,OK"}, -1, "CALC,ok", {"Editor,Save", "Calc,OK"}, 1},
        // The search starts after item 0 and wraps round to it.
        {{"Editor,Save", "Calc,OK", "EDITOR,SAVE ALL"}, -1, "editor,save", {"Editor,Save", "Calc,OK", "EDITOR,SAVE ALL"}, 2},
        {{"Editor,Save As", "Calc,OK"}, 1, "editor,SAVE as", {"Editor,Save As", "Calc,OK"}, 0},
        // Only the start of an item matches: appended, selection kept.
        {{"Editor,Save", "Calc,OK"}, 1, "Editor,Save As", {"Editor,Save", "Calc,OK", "Editor,Save As"}, 1},
    };
    StartMain({});
    for (const auto& c : cases) {
        SCOPED_TRACE("path \"" + c.path + "\"");
        int closings = g_ui.closed;
        ASSERT_TRUE(ReopenWith(c.items));
        Select(c.selected);
        SetPath(c.path);
        Click(IDC_ADD);
        EXPECT_EQ(c.after, ListItems());
        EXPECT_EQ(c.selectedAfter, Selection());
        EXPECT_EQ(c.path, Path());
        EXPECT_EQ("", Field());  // Add leaves the field alone
        Click(IDC_CANCEL_BUTTON);
        ASSERT_TRUE(WaitClosed(closings + 1));
    }
}

// Code page 932 text in UTF-8 or UTF-16 (1200), as Notepad saves it.
std::string Encoded(const std::string& text, UINT codePage)
{
    std::wstring w(text.size(), L'\0');
    w.resize(::MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), &w[0], int(w.size())));
    if (codePage == 1200)
        return "\xFF\xFE" + std::string(reinterpret_cast<const char*>(w.data()), w.size() * 2);
    std::string out(w.size() * 3, '\0');
    out.resize(::WideCharToMultiByte(codePage, 0, w.data(), int(w.size()), &out[0], int(out.size()), nullptr, nullptr));
    return out;
}

// OK writes through the ANSI profile functions, which would garble a UTF-8
// file, the user's own sections too: such a file is refused, byte for byte
// kept. A refused save keeps the dialog with its edits and the main list.
TEST_F(SettingsDialog, OkRefusesAUtf8ListFileOrAFailedWriteAndSavesUtf16AndCodePage932Ones)
{
    const std::string own = "; 自分のメモ\r\n[BUTTON]\r\nBTN1=メモ帳,保存\r\nBTN2=\r\n[自分の設定]\r\n色=青\r\n";
    const char utf8[] = "設定ファイルの文字コードが ANSI（Shift_JIS）ではないため、リストを保存できません。\r\n",
               advice[] = "\r\n\r\nメモ帳でこのファイルを開き、「名前を付けて保存」で文字コード（エンコード）に"
                          "「ANSI」を選んで上書き保存してから、もう一度「OK」を押してください。",
               failed[] = "リストを保存できませんでした。\r\n設定ファイルに書き込めるか確かめてください。";
    const struct { std::string bytes; const char* refusal; } cases[] = {  // no bytes: a folder that is not there
        {Encoded(own, CP_UTF8), utf8}, {"\xEF\xBB\xBF" + Encoded(own, CP_UTF8), utf8}, {"\xEF\xBB\xBF" + own, utf8},
        {"", failed},                  {Encoded(own, 1200), nullptr},                 {own, nullptr}};
    StartMain({});
    const std::string kept = AfxGetApp()->m_pszProfileName;
    int closings = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes.substr(0, 3));
        const std::string path = c.bytes.empty() ? "C:\\zelvano-no-such-folder\\p.ini"
                                                 : testkit::TempPath("zelvano-encoding") + ".ini";
        ASSERT_TRUE(c.bytes.empty() || testkit::WriteFile(path, c.bytes));
        OnUi([&] { return AfxGetApp()->SetProfileName(path.c_str()), 0; });
        ASSERT_TRUE(ReopenWith({"メモ帳,保存"}));
        SetPath("新しい窓,押す");
        Click(IDC_ADD);
        Click(IDOK);
        if (c.refusal) {
            HWND box = WaitForBox();
            ASSERT_TRUE(box);
            EXPECT_EQ(c.refusal == utf8 ? utf8 + path + advice : failed, BoxText(box));
            Answer(box, IDOK);
            EXPECT_TRUE(::IsWindowVisible(m_hDlg));
            EXPECT_EQ((Strings{"メモ帳,保存", "新しい窓,押す"}), ListItems());
            EXPECT_EQ((Strings{"メモ帳,保存"}), Targets());
            EXPECT_EQ(c.bytes, testkit::ReadFile(path));
            Click(IDC_CANCEL_BUTTON);
        }
        ASSERT_TRUE(WaitClosed(++closings));
        if (!c.refusal) {
            const std::string saved = own.substr(0, own.find("BTN2")) + "BTN2=新しい窓,押す\r\nBTN3=\r\n" +
                                      own.substr(own.find("[自分"));
            EXPECT_EQ(c.bytes[0] == '\xFF' ? Encoded(saved, 1200) : saved, testkit::ReadFile(path));
            EXPECT_EQ((Strings{"メモ帳,保存", "新しい窓,押す"}), Targets());
        }
        ::DeleteFileA(path.c_str());
    }
    OnUi([&] { return AfxGetApp()->SetProfileName(kept.c_str()), 0; });
}

// The confirm button inverts the window the path names while held; the flag
// stays right when that window goes away or is renamed before the release.
TEST_F(SettingsDialog, ConfirmInvertsTheNamedChildWhileHeld)
{
    enum Change { kNone, kRetitled, kDestroyed };
    const struct { const char* tail; Change change; int held; } cases[] = {  // tail null: empty path
        {nullptr, kNone, 0},    {"", kNone, 0},           {",ない子", kNone, 0},
        {",確認子", kNone, 1}, {",確認子", kRetitled, 1}, {",確認子", kDestroyed, 1}};
    testkit::ScreenLock lock;
    StartMain({});
    const std::string frame = "確認枠-" + std::to_string(::GetCurrentProcessId());
    ASSERT_TRUE(OpenSettings());
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.tail ? c.tail : "(empty)") + " change " + std::to_string(c.change));
        Probe probe = MakeProbe(c.change, frame, "確認子");
        SetPath(c.tail ? frame + c.tail : "");
        PressConfirm();
        EXPECT_EQ(c.held, Highlighted());
        EXPECT_EQ(c.held ? kInverted : kColour, PixelOf(probe.hChild));
        EXPECT_EQ(kColour, PixelOf(probe.hFrame));
        if (c.change == kNone) {
            ReleaseConfirm(CPoint(-60, 200));  // slid off: the release still comes
            EXPECT_EQ(0, Highlighted());
            EXPECT_EQ(kColour, PixelOf(probe.hChild));
            Post(Item(IDC_CONFIRM), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(5, 5));  // no press
            EXPECT_EQ(0, Highlighted());
            ReleaseConfirm();
        } else {
            const bool destroy = c.change == kDestroyed;
            OnUi([&] { return destroy ? ::DestroyWindow(probe.hFrame) : ::SetWindowTextA(probe.hFrame, "別の名前"); });
            ReleaseConfirm();
            EXPECT_EQ(1, Highlighted());
            // Found again: the next press does nothing, the next release toggles.
            if (destroy)
                probe = MakeProbe(c.change, frame, "確認子");
            else
                OnUi([&] { return ::SetWindowTextA(probe.hFrame, frame.c_str()); });
            PressConfirm();
            EXPECT_EQ(1, Highlighted());
            EXPECT_EQ(destroy ? kColour : kInverted, PixelOf(probe.hChild));
            ReleaseConfirm();
            EXPECT_EQ(destroy ? kInverted : kColour, PixelOf(probe.hChild));
        }
        EXPECT_EQ(0, Highlighted());
        OnUi([&] { return ::DestroyWindow(probe.hFrame); });
    }
}

// Only a pick that the next start finds again is asked about; any other is
// refused at once with the reason.
TEST_F(SettingsDialog, PickingRefusesWhatTheStartWouldNotFindAndOnlyOkTakesAPick)
{
    testkit::ScreenLock lock;
    StartMain({"Old,Path"});
    Probe probe = MakeProbe(3, "ピック枠", "押す所");
    Probe brokenFrame = MakeProbe(5, "改行\nあり", "押す所");
    Probe brokenChild = MakeProbe(6, "改行子枠", "押\r\nす");
    Probe owned = MakeProbe(0, "持たれ枠", "押す所", probe.hFrame);
    Probe panel = MakeProbe(1, "パネル枠", "");
    const CPoint nested = AddChild(panel.hChild, "押す所", 5, 5, 80, 40);
    Probe untitled = MakeProbe(2, "", "押す所");
    Probe twins = MakeProbe(4, "双子枠", "押す所");
    const CPoint secondTwin = AddChild(twins.hFrame, "押す所", 10, 70, 90, 50);
    Probe comma = MakeProbe(7, "ピック,枠", "押す所");
    Probe sameTitle[] = {MakeProbe(8, "同名枠", "押す所"), MakeProbe(9, "同名枠", "押す所")};
    const CPoint laterSameTitle = sameTitle[::FindWindowA(nullptr, "同名枠") == sameTitle[0].hFrame].childCentre;
    OnUi([&] { return ::EnableWindow(owned.hChild, FALSE); });  // a grey button of a dialog
    ASSERT_TRUE(OpenSettings());
    ASSERT_EQ(probe.hChild, ::WindowFromPoint(probe.childCentre));  // not under the dialog
    ASSERT_EQ(probe.hFrame, ::WindowFromPoint(probe.frameSpot));
    ASSERT_EQ(owned.hFrame, ::WindowFromPoint(owned.childCentre));
    Select(0), DoubleClick();
    const char* broken = "選んだボタンまたはウィンドウの名前に改行が含まれているため、対象にできません。";
    const std::pair<CPoint, const char*> refused[] = {  // null: nothing asked
        {probe.frameSpot, nullptr},
        {brokenFrame.childCentre, broken},
        {brokenChild.childCentre, broken},
        {owned.childCentre, "選んだのはボタンではなくウィンドウのため、対象にできません。\r\n"
                            "使えない（灰色の）ボタンは選べません。"},
        {nested, "選んだボタンはウィンドウの中の枠やページの中にあるため、対象にできません。\r\n"
                 "起動時に探せるのは、タイトルのあるウィンドウにじかに置かれたボタンだけです。"},
        {comma.childCentre, "選んだボタンまたはウィンドウの名前に「,」が含まれているため、対象にできません。"},
        {untitled.childCentre, "選んだウィンドウにタイトルがないか、ボタンに文字がないため、対象にできません。"},
        {laterSameTitle, "同じタイトルのウィンドウがほかにもあり（見えないものも含みます）、"
                         "そちらが先に見つかるため、対象にできません。"},
        {secondTwin, "同じウィンドウに同じ文字のボタンが先にあり、そちらが押されてしまうため、対象にできません。"},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.second ? c.second : "nothing asked");
        PressMarker(), MoveTo(c.first), Release();
        HWND box = c.second ? WaitForBox() : FindBox(::GetCurrentProcessId(), kAppName);
        EXPECT_EQ(c.second != nullptr, box != nullptr);
        if (box) {
            EXPECT_EQ(c.second, BoxText(box));
            Answer(box, IDOK);
        }
        EXPECT_FALSE(Dragging());
        EXPECT_EQ("Old,Path", Path());
        EXPECT_EQ(kColour, PixelOf(probe.hFrame));
    }
    for (int answer : {IDCANCEL, IDOK}) {
        PressMarker();
        ASSERT_TRUE(Dragging());
        MoveTo(probe.frameSpot);
        EXPECT_EQ(kInverted, PixelOf(probe.hFrame));
        MoveTo(probe.childCentre);
        EXPECT_EQ(kColour, PixelOf(probe.hFrame));
        EXPECT_EQ(kInverted, PixelOf(probe.hChild));
        Release();
        HWND box = WaitForBox();
        ASSERT_TRUE(box);
        EXPECT_EQ("押されるボタンは\"ピック枠\"ｳｨﾝﾄﾞの\r\n\"押す所\"ボタンで良いですか？", BoxText(box));
        EXPECT_EQ(kColour, PixelOf(probe.hChild));  // restored and let go before asking
        EXPECT_EQ(nullptr, OnUi([] { return ::GetCapture(); }));
        Answer(box, answer);
        EXPECT_FALSE(Dragging());
        EXPECT_EQ(answer == IDOK ? "ピック枠,押す所" : "Old,Path", Path());
    }
    EXPECT_EQ("ピック枠,押す所", Field());
    EXPECT_EQ((Strings{"Old,Path"}), ListItems());
}

// A drag or a held confirm that ends the hard way: Enter or Esc, another window
// taking the capture or the platform letting it go (Alt+Tab, a UAC prompt),
// the dialog destroyed, the target replaced before the release. Nothing stays
// inverted, held or allocated; a second round leaks no GDI object or window.
TEST_F(SettingsDialog, DragsAndHoldsEndedTheHardWayLeaveNothingInvertedHeldOrLeaked)
{
    testkit::ScreenLock lock;
    StartMain({"Editor,Save"});
    const std::string frame = "中断枠-" + std::to_string(::GetCurrentProcessId());
    Probe probe = MakeProbe(7, frame, "確認子");
    enum Cut { kKey, kTaken, kLetGo, kDestroyed, kReplaced };
    const struct { bool drag; Cut cut; UINT key; INT_PTR result; } cases[] = {
        {true, kKey, VK_RETURN, IDOK},       {true, kKey, VK_ESCAPE, IDCANCEL},    {false, kKey, VK_ESCAPE, IDCANCEL},
        {true, kTaken, VK_ESCAPE, IDCANCEL}, {true, kLetGo, VK_ESCAPE, IDCANCEL}, {true, kDestroyed, 0, -1},
        {true, kReplaced, VK_ESCAPE, IDCANCEL}};
    int closings = 0;
    std::string before;
    for (int round = 0; round < 2; ++round) {
        if (round == 1)  // the first round also fills what the system caches on first use
            before = testkit::GuiObjects();
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.drag ? "drag" : "confirm") + " cut " + std::to_string(c.cut) + " key " +
                         std::to_string(c.key));
            ASSERT_TRUE(OpenSettings());
            HWND hList = Item(IDC_TARGET_LIST);
            Post(m_hDlg, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(hList), TRUE);  // Enter is then OK's
            if (c.drag)
                PressMarker(), MoveTo(probe.childCentre);
            else
                SetPath(frame + ",確認子"), PressConfirm();
            ASSERT_EQ(kInverted, PixelOf(probe.hChild));
            if (c.cut == kTaken || c.cut == kLetGo) {
                HWND hTaker = c.cut == kTaken ? probe.hFrame : nullptr;
                EXPECT_EQ(hTaker, OnUi([hTaker] {  // ending the drag leaves the new capture alone
                    if (hTaker)
                        ::SetCapture(hTaker);
                    else
                        ::ReleaseCapture();
                    return ::GetCapture();
                }));
                EXPECT_FALSE(Dragging());
                EXPECT_EQ(kColour, PixelOf(probe.hChild));
                Release();  // a later release in the dialog asks nothing
                EXPECT_EQ("", Path());
                OnUi([] { return ::ReleaseCapture(); });
            } else if (c.cut == kReplaced) {
                // In one go, so that no move the platform makes up picks the new window.
                probe = OnUi([&] {
                    ::DestroyWindow(probe.hFrame);
                    Probe p = MakeProbe(7, frame, "確認子");
                    ::SendMessageA(m_hDlg, WM_LBUTTONUP, 0, 0);
                    return p;
                });
                EXPECT_FALSE(Dragging());
            }
            if (c.cut == kDestroyed)
                OnUi([this] { return ::DestroyWindow(m_hDlg); });
            else
                PostKey(c.drag ? hList : Item(IDC_CONFIRM), c.key);  // a pressed button has the focus
            ASSERT_TRUE(WaitClosed(++closings));
            EXPECT_EQ(c.result, g_ui.result);
            EXPECT_FALSE(g_ui.bPickerLeft);
            EXPECT_EQ(0, g_ui.nHighlightLeft);
            EXPECT_EQ(nullptr, g_ui.hCaptureLeft);
            EXPECT_EQ(kColour, PixelOf(probe.hChild));
            EXPECT_EQ(nullptr, FindBox(::GetCurrentProcessId(), kAppName));
        }
    }
    EXPECT_EQ(before, testkit::GuiObjects());
}

bool PointerTo(CPoint p)
{
    return testkit::Xdotool("mousemove " + std::to_string(p.x) + " " + std::to_string(p.y)) && testkit::WaitFor([p] {
               POINT now = {};
               return ::GetCursorPos(&now) && now.x == p.x && now.y == p.y;
           });
}

// The real mouse drags the pick; the next start presses it.
TEST(SettingsEndToEnd, ADraggedPickIsSavedAndPressedAtTheNextStart)
{
    testkit::ScreenLock lock;
    const std::string stem = "zelvano-settings-e2e-" + std::to_string(::GetCurrentProcessId());
    testkit::ZelvanoCopy zelvano(stem);
    testkit::TargetApp target({"W:設定E2E窓", "B:押す"});
    ASSERT_TRUE(target.Ready());
    HWND hFrame = testkit::FindWindowOf(target.ProcessId(), "設定E2E窓"), hButton = ::GetWindow(hFrame, GW_CHILD);
    ASSERT_TRUE(hButton);
    {
        testkit::ZelvanoStart app(zelvano.exe);
        ASSERT_TRUE(app.hMain);
        HWND hDlg = app.OpenSettings(), hBox = nullptr;
        ASSERT_TRUE(hDlg);
        for (HWND h : {hFrame, hDlg})  // above the windows of tests beside this one
            ::SetWindowPos(h, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        ASSERT_EQ(hButton, ::WindowFromPoint(CentreOf(hButton)));
        // A program started beside this test can take the focus, cancelling the
        // capture: such a drag is let go over the banner, where it picks nothing.
        auto holding = [&] { return testkit::HasCapture(hDlg); };
        for (int attempt = 0; attempt < 3 && !hBox; ++attempt) {
            ASSERT_TRUE(PointerTo(CentreOf(::GetDlgItem(hDlg, IDC_MARKER))) && testkit::Xdotool("mousedown 1"));
            bool held = testkit::WaitFor(holding, 3000) && PointerTo(CentreOf(hButton)) && holding();
            ASSERT_TRUE((held || PointerTo(CentreOf(::GetDlgItem(hDlg, IDC_BANNER)))) && testkit::Xdotool("mouseup 1"));
            testkit::WaitFor([&] { return held ? (hBox = FindBox(app.process.Id(), stem)) != nullptr : !holding(); },
                             5000);
        }
        ASSERT_TRUE(hBox);
        EXPECT_EQ("押されるボタンは\"設定E2E窓\"ｳｨﾝﾄﾞの\r\n\"押す\"ボタンで良いですか？", BoxText(hBox));
        ::PostMessageA(hBox, WM_COMMAND, IDOK, 0);
        HWND hPath = ::GetDlgItem(hDlg, IDC_PATH), hList = ::GetDlgItem(hDlg, IDC_TARGET_LIST);
        EXPECT_TRUE(testkit::WaitFor([&] { return testkit::WindowTextOf(hPath) == "設定E2E窓,押す"; }));
        ::PostMessageA(::GetDlgItem(hDlg, IDC_ADD), BM_CLICK, 0, 0);
        EXPECT_TRUE(testkit::WaitFor([&] { return ::SendMessageA(hList, LB_GETCOUNT, 0, 0) == 1; }));
        ::PostMessageA(::GetDlgItem(hDlg, IDOK), BM_CLICK, 0, 0);
        ASSERT_TRUE(testkit::WaitFor([&] { return !::IsWindow(hDlg); }));
        EXPECT_EQ("[BUTTON]\r\nBTN1=設定E2E窓,押す\r\nBTN2=\r\n", testkit::ReadFile(zelvano.profile));
        EXPECT_TRUE(target.MessagesOf(0).empty());  // picking pressed nothing
        EXPECT_TRUE(app.Close());
    }
    testkit::ZelvanoStart again(zelvano.exe);
    ASSERT_TRUE(target.WaitEvents(3));
    EXPECT_EQ(testkit::kOnePress, target.MessagesOf(0));
    EXPECT_NE(std::string::npos, again.report.find(testkit::Shown(1, "設定E2E窓", "押す"))) << again.report;
    EXPECT_TRUE(again.Close());
}

}  // namespace
