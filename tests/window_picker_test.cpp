// The window picker against real windows of this process (Wine shows nothing drawn into another
// process's window). Inversion is read from the pixels, and every InvertRect is logged too: two
// inversions of one window look like none.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <utility>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "res/resource.h"
#include "settings/window_picker.h"
#include "tests/testkit.h"

namespace {

// This program's import slot of dll's function, which the platform's calls go through; both bitnesses
// name it differently, so it is found in the import table.
void** ImportSlot(const char* dll, const char* function)
{
    BYTE* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
    const IMAGE_NT_HEADERS* nt =
        reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); d->Name; ++d) {
        if (lstrcmpiA(reinterpret_cast<const char*>(base + d->Name), dll) != 0)
            continue;
        auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots)
            if (!IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal) &&
                std::strcmp(reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)->Name,
                            function) == 0)
                return reinterpret_cast<void**>(&slots->u1.Function);
    }
    return nullptr;
}

// Puts replacement in this program's import slot of user32's function; original gets what was there.
template <class Fn>
bool Hook(const char* function, Fn& original, Fn replacement)
{
    DWORD old = 0;
    void** slot = ImportSlot("user32.dll", function);
    if (!original && slot && VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &old)) {
        original = reinterpret_cast<Fn>(*slot);
        *slot = reinterpret_cast<void*>(replacement);
    }
    return original != nullptr;
}

using testkit::CentreOf;
decltype(&InvertRect) g_pfnInvert = nullptr;
std::vector<HWND> g_drawn;

BOOL WINAPI LoggedInvert(HDC hDC, const RECT* prc)
{
    g_drawn.push_back(WindowFromDC(hDC));
    return g_pfnInvert(hDC, prc);
}

// DPI contexts as fakes keep them: the thread's, and a log of the calls with the context each measure ran in.
const DPI_AWARENESS_CONTEXT kOwnContext = DPI_AWARENESS_CONTEXT_SYSTEM_AWARE,
                            kWindowContext = DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2;
DPI_AWARENESS_CONTEXT g_threadContext = kOwnContext;
std::string g_dpiLog;
decltype(&GetClientRect) g_pfnClientRect = nullptr;

std::string ContextName(DPI_AWARENESS_CONTEXT hContext)
{
    return hContext == kOwnContext ? "own" : hContext == kWindowContext ? "window's" : "other";
}
DPI_AWARENESS_CONTEXT WINAPI FakeWindowContext(HWND) { return g_dpiLog += "get;", kWindowContext; }
DPI_AWARENESS_CONTEXT WINAPI NoWindowContext(HWND) { return g_dpiLog += "get;", nullptr; }  // a window gone
DPI_AWARENESS_CONTEXT WINAPI FakeSetThreadContext(DPI_AWARENESS_CONTEXT hContext)
{
    g_dpiLog += "set " + ContextName(hContext) + ";";
    std::swap(g_threadContext, hContext);
    return hContext;
}
BOOL WINAPI LoggedClientRect(HWND hWnd, LPRECT lpRect)
{
    g_dpiLog += "measure in " + ContextName(g_threadContext) + ";";
    return g_pfnClientRect(hWnd, lpRect);
}

std::vector<COLORREF> InvertedPixels(std::vector<COLORREF> pixels)
{
    for (COLORREF& c : pixels)
        c = ~c & 0xFFFFFF;
    return pixels;
}

// A pixel near the lower right of the client area, clear of borders and text.
COLORREF SampleOf(HWND hWnd)
{
    RECT rc;
    GetClientRect(hWnd, &rc);
    return testkit::PixelOf(hWnd, rc.right - 6, rc.bottom - 6);
}

// The owner at (560,760)-(780,900) with neighbours touching its left, top, right and bottom edges, and a
// dialog with a button; topmost, so that no other program's window comes between.
class WindowPickerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
        wc.lpszClassName = "ZelvanoSwatch";
        RegisterClassA(&wc);
        m_owner = CWnd(m_hOwner = Add("owner", WS_OVERLAPPEDWINDOW, 560, 760, 220, 140));
        Add("left", WS_POPUP, 470, 800, 90, 90);
        Add("above", WS_POPUP, 600, 700, 150, 60);
        m_hRight = Add("right", WS_POPUP, 780, 760, 90, 90);
        Add("below", WS_POPUP, 560, 900, 120, 60);
        m_hButton = Add("button", WS_CHILD, 10, 10, 70, 30, Add("dialog", WS_CAPTION, 890, 760, 220, 160));
        for (const auto& w : m_wins)
            ASSERT_EQ(w.first, WindowFromPoint(CentreOf(w.first))) << w.second.name << " is covered";
        ASSERT_TRUE(Hook("InvertRect", g_pfnInvert, &LoggedInvert));
        ASSERT_TRUE(Hook("GetClientRect", g_pfnClientRect, &LoggedClientRect));
        g_drawn.clear();
    }

    HWND Add(const char* name, DWORD style, int x, int y, int cx, int cy, HWND hParent = nullptr)
    {
        HWND h = CreateWindowExA(hParent ? 0 : WS_EX_TOPMOST, hParent ? "BUTTON" : "ZelvanoSwatch", name,
                                 style | WS_CLIPCHILDREN, x, y, cx, cy, hParent, nullptr, GetModuleHandleA(nullptr), nullptr);
        ShowWindow(h, SW_SHOWNOACTIVATE);
        UpdateWindow(h);
        m_wins[h] = {name, SampleOf(h)};
        return h;
    }

    std::string NameOf(HWND hWnd) { return hWnd ? m_wins[hWnd].name : ""; }

    // The live windows that show inverted now ("?": changed otherwise).
    std::string Inverted() const
    {
        std::string out;
        for (const auto& w : m_wins) {
            COLORREF now = IsWindow(w.first) ? SampleOf(w.first) : w.second.normal;
            if (now != w.second.normal)
                out += (out.empty() ? "" : ",") + w.second.name + (now == (~w.second.normal & 0xFFFFFF) ? "" : "?");
        }
        return out;
    }

    // The windows inverted or restored since the last call, in order.
    std::string Drawn()
    {
        std::string out;
        for (HWND h : g_drawn)
            out += (out.empty() ? "" : ",") + NameOf(h);
        return g_drawn.clear(), out;
    }

    // A screen point in the owner's client coordinates, as a captured move carries it.
    CPoint At(CPoint screen) const { return ScreenToClient(m_hOwner, &screen), screen; }

    struct Win {
        std::string name;
        COLORREF normal;
    };
    testkit::ScreenLock m_lock;
    std::map<HWND, Win> m_wins;
    HWND m_hOwner = nullptr, m_hRight = nullptr, m_hButton = nullptr;
    CWnd m_owner;
};

TEST_F(WindowPickerTest, HighlightsOneWindowAtATimeDrawsOnlyOnChangeAndNeverTheOwner)
{
    // The press point lies over another window: it must not count as a move.
    CWindowPicker picker(&m_owner, At(CentreOf(m_hRight)), IDC_PICK_CURSOR);
    EXPECT_EQ(m_hOwner, GetCapture());
    EXPECT_EQ(LoadCursorA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDC_PICK_CURSOR)), GetCursor());
    const CPoint dialog(1080, 900), desktop(1275, 1019), button = CentreOf(m_hButton);
    ASSERT_EQ(GetDesktopWindow(), WindowFromPoint(desktop));
    // Left and top edges of the owner are inside, right and bottom outside; left of and above its client
    // area the coordinates are negative.
    const struct { CPoint pt; const char *target, *drawn; } steps[] = {
        {{600, 800}, "", ""},           {{783, 763}, "right", "right"},  {{860, 840}, "right", ""},
        {{779, 830}, "", "right"},      {{780, 830}, "right", "right"},  {{620, 900}, "below", "right,below"},
        {{620, 899}, "", "below"},      {{559, 830}, "left", "left"},    {{560, 830}, "", "left"},
        {{620, 759}, "above", "above"}, {{620, 760}, "", "above"},       {{621, 759}, "above", "above"},
        {{620, 770}, "", "above"},      {button, "button", "button"},   {dialog, "dialog", "button,dialog"},
        {button, "button", "dialog,button"}, {desktop, "", "button"},    {{1270, 1010}, "", ""},
        {{800, 800}, "right", "right"}, {{670, 830}, "", "right"}};
    ASSERT_TRUE(At(steps[7].pt).x < 0 && At(steps[9].pt).y < 0);
    for (const auto& step : steps) {
        SCOPED_TRACE(testing::Message() << step.pt.x << "," << step.pt.y);
        picker.Track(At(step.pt));
        EXPECT_EQ(step.drawn, Drawn());
        EXPECT_EQ(step.target, Inverted());
        EXPECT_EQ(step.target, NameOf(picker.GetTarget()));
    }
    // Every pixel of the client area at whatever DPI, the button's edges and caption included.
    for (HWND h : {m_hButton, m_hRight}) {
        SCOPED_TRACE(NameOf(h));
        const std::vector<COLORREF> normal = testkit::ClientPixels(h);
        picker.Track(At(CentreOf(h)));
        EXPECT_TRUE(InvertedPixels(normal) == testkit::ClientPixels(h));
        picker.Track(At(steps[0].pt));
        EXPECT_TRUE(normal == testkit::ClientPixels(h));
    }
    Drawn();
    // The last move lay inside the owner: nothing is picked.
    picker.End();
    EXPECT_EQ(nullptr, picker.GetTarget());
    EXPECT_EQ("", Drawn());
    EXPECT_EQ(nullptr, GetCapture());
}

// A window that drew itself while inverted shows its own picture once restored, and the queued repaint of a window
// leaves alone its child highlighted meanwhile.
TEST_F(WindowPickerTest, ARestoredWindowRepaintsItselfAroundTheNextHighlight)
{
    CWindowPicker picker(&m_owner, At(CentreOf(m_hOwner)), IDC_PICK_CURSOR);
    picker.Track(At(CentreOf(m_hRight)));
    RedrawWindow(m_hRight, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);  // drawn over the inversion
    for (CPoint pt : {CPoint(1080, 900), CentreOf(m_hButton)})  // the dialog, then its button
        picker.Track(At(pt));
    EXPECT_TRUE(testkit::WaitFor([&] { return Inverted() == "button"; }, 2000)) << Inverted();
    picker.End();
    EXPECT_TRUE(testkit::WaitFor([&] { return Inverted().empty(); }, 2000)) << Inverted();
}

// The candidate is what the pointer is on: over another program's group box, made before the button it frames and so
// above it, the button beneath, and the box over its empty part only; over the shell's desktop windows (a window of
// Progman's class as the shell window, a WorkerW holding the desktop's view) none.
TEST_F(WindowPickerTest, TheCandidateIsWhatThePointerIsOn)
{
    const std::string title = testkit::WithPid("枠");
    testkit::TargetApp app({"W:" + title, "G:frame", "B:framed"});
    HWND hTop = testkit::FindWindowOf(app.ProcessId(), title.c_str()), hViews[2] = {};
    SetWindowPos(hTop, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    HWND hFrame = FindWindowExA(hTop, nullptr, nullptr, "frame"), hFramed = FindWindowExA(hTop, nullptr, nullptr, "framed");
    CPoint empty(300, 50);
    ClientToScreen(hTop, &empty);
    ASSERT_EQ(hFrame, WindowFromPoint(CentreOf(hFramed)));
    for (int i = 0; i < 2; ++i) {
        for (const char* cls : {i ? "WorkerW" : "Progman", "SHELLDLL_DefView"}) {
            WNDCLASSA wc = {0, DefWindowProcA, 0, 0, GetModuleHandleA(nullptr), nullptr, nullptr, nullptr, nullptr, cls};
            RegisterClassA(&wc);
        }
        HWND hRoot = CreateWindowExA(WS_EX_TOPMOST, i ? "WorkerW" : "Progman", "", WS_POPUP | WS_VISIBLE, 900 + 120 * i,
                                     100, 110, 80, nullptr, nullptr, nullptr, nullptr);
        hViews[i] = CreateWindowExA(0, "SHELLDLL_DefView", "", WS_CHILD | WS_VISIBLE, 5, 5, 60, 40, hRoot, nullptr,
                                    nullptr, nullptr);
    }
    const struct { CPoint pt; HWND hWant; } cases[] = {{CentreOf(hFramed), hFramed}, {empty, hFrame},
        {CentreOf(hViews[0]), nullptr}, {CPoint(903, 103), nullptr}, {CentreOf(hViews[1]), nullptr}};
    for (const auto& c : cases)
        EXPECT_EQ(c.hWant, CandidateAt(c.pt, GetParent(hViews[0]))) << c.pt.x << "," << c.pt.y;
    for (HWND h : hViews)
        DestroyWindow(GetParent(h));
}

// The client area is measured with the thread in the window's own DPI context, and the thread put back at once;
// without user32's two functions, or for a window without a context, in the thread's own. The same area is
// inverted and restored either way.
TEST_F(WindowPickerTest, TheAreaIsMeasuredInTheWindowsOwnDpiContextWhereThereIsOne)
{
    const struct { CDpiAwareness dpi; const char* log; } cases[] = {
        {CDpiAwareness(FakeWindowContext, FakeSetThreadContext), "get;set window's;measure in window's;set own;"},
        {CDpiAwareness(NoWindowContext, FakeSetThreadContext), "get;measure in own;"},
        {CDpiAwareness(nullptr, nullptr), "measure in own;"}};
    const std::vector<COLORREF> normal = testkit::ClientPixels(m_hButton);
    for (const auto& c : cases) {
        for (bool restore : {false, true}) {
            g_dpiLog.clear();
            ToggleHighlight(m_hButton, c.dpi);
            EXPECT_EQ(c.log, g_dpiLog);
            EXPECT_EQ(kOwnContext, g_threadContext);
            EXPECT_TRUE((restore ? normal : InvertedPixels(normal)) == testkit::ClientPixels(m_hButton)) << c.log;
        }
    }

    // With user32's functions, from a thread whose context is below the window's (a DPI-unaware one, given
    // scaled sizes above 96 DPI): the whole client area, and the thread left in its context.
    typedef DPI_AWARENESS_CONTEXT(WINAPI * SetThreadContextFn)(DPI_AWARENESS_CONTEXT);
    const SetThreadContextFn pfnSetThreadContext = reinterpret_cast<SetThreadContextFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("user32.dll"), "SetThreadDpiAwarenessContext")));
    if (!pfnSetThreadContext)
        GTEST_SKIP() << "no DPI contexts before Windows 10 1607";
    CRect full, scaled, after;
    GetClientRect(m_hButton, &full);
    for (bool restore : {false, true}) {
        DPI_AWARENESS_CONTEXT hOwn = pfnSetThreadContext(DPI_AWARENESS_CONTEXT_UNAWARE);
        ASSERT_TRUE(hOwn);
        GetClientRect(m_hButton, &scaled);
        ToggleHighlight(m_hButton);
        GetClientRect(m_hButton, &after);
        pfnSetThreadContext(hOwn);
        EXPECT_EQ(scaled, after);
        EXPECT_TRUE((restore ? normal : InvertedPixels(normal)) == testkit::ClientPixels(m_hButton));
    }
    if (GetSystemDpi() > USER_DEFAULT_SCREEN_DPI) {
        EXPECT_LT(scaled.Width(), full.Width());  // what the thread's own context would have inverted
    }
}

}  // namespace
