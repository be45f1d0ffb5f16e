// The window picker against real windows. Inversion is read back from the
// windows' own pixels, so the candidates belong to this process: drawing into
// another process's window shows nothing under Wine. Every inversion drawn is
// also logged, since two inversions of one window look like none. One drag at
// the end goes through the real mouse and picks another program's button.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "res/resource.h"
#include "settings/window_picker.h"
#include "tests/testkit.h"

namespace {

// A named mutex held for a test's whole run. CTest runs tests side by side,
// and tests that put windows at the same places of the screen or move the one
// pointer must take turns. An abandoned mutex counts as held.
class NamedLock {
public:
    explicit NamedLock(const char* name) : m_h(CreateMutexA(nullptr, FALSE, name))
    {
        DWORD r = WaitForSingleObject(m_h, 40000);
        m_bHeld = r == WAIT_OBJECT_0 || r == WAIT_ABANDONED;
    }
    ~NamedLock()
    {
        if (m_bHeld)
            ReleaseMutex(m_h);
        CloseHandle(m_h);
    }
    NamedLock(const NamedLock&) = delete;
    NamedLock& operator=(const NamedLock&) = delete;

private:
    HANDLE m_h;
    bool m_bHeld = false;
};

const char kSceneLock[] = "zelvano-picker-tests-screen";

// Every InvertRect of this program, by the window whose DC it drew on: the
// import address table entry is pointed at a logging stand-in.
namespace inversions {
using InvertRectFn = BOOL(WINAPI*)(HDC, const RECT*);
InvertRectFn g_pfnReal = nullptr;
std::vector<HWND> g_windows;

BOOL WINAPI Logged(HDC hDC, const RECT* lprc)
{
    g_windows.push_back(WindowFromDC(hDC));
    return g_pfnReal(hDC, lprc);
}

void** ImportSlot(const char* dll, const char* function)
{
    BYTE* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
    const IMAGE_DOS_HEADER* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const IMAGE_NT_HEADERS* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (const IMAGE_IMPORT_DESCRIPTOR* imp =
             reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
         imp->Name; ++imp) {
        if (_stricmp(reinterpret_cast<const char*>(base + imp->Name), dll) != 0)
            continue;
        const IMAGE_THUNK_DATA* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(
            base + (imp->OriginalFirstThunk ? imp->OriginalFirstThunk : imp->FirstThunk));
        IMAGE_THUNK_DATA* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            const IMAGE_IMPORT_BY_NAME* byName =
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0)
                return reinterpret_cast<void**>(&slots->u1.Function);
        }
    }
    return nullptr;
}

bool Install()
{
    if (g_pfnReal)
        return true;
    void** slot = ImportSlot("user32.dll", "InvertRect");
    if (!slot)
        return false;
    DWORD old = 0;
    if (!VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &old))
        return false;
    g_pfnReal = reinterpret_cast<InvertRectFn>(*slot);
    *slot = reinterpret_cast<void*>(&Logged);
    VirtualProtect(slot, sizeof(*slot), old, &old);
    return true;
}
}  // namespace inversions

const char kSwatchClass[] = "ZelvanoPickerSwatch";

// Windows of one solid colour, kept in the window's user data. Owner-drawn
// buttons take the colour from their own user data.
LRESULT CALLBACK SwatchProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_NCCREATE: {
        const CREATESTRUCTA* cs = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
        break;
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC hDC = BeginPaint(hWnd, &ps);
        RECT rc;
        GetClientRect(hWnd, &rc);
        HBRUSH hBrush = CreateSolidBrush(static_cast<COLORREF>(GetWindowLongPtrA(hWnd, GWLP_USERDATA)));
        FillRect(hDC, &rc, hBrush);
        DeleteObject(hBrush);
        EndPaint(hWnd, &ps);
        return 0;
    }
    case WM_DRAWITEM: {
        const DRAWITEMSTRUCT* dis = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        HBRUSH hBrush =
            CreateSolidBrush(static_cast<COLORREF>(GetWindowLongPtrA(dis->hwndItem, GWLP_USERDATA)));
        FillRect(dis->hDC, &dis->rcItem, hBrush);
        DeleteObject(hBrush);
        return TRUE;
    }
    default:
        break;
    }
    return DefWindowProcA(hWnd, message, wParam, lParam);
}

void RegisterSwatchClass()
{
    WNDCLASSA wc = {};
    if (GetClassInfoA(GetModuleHandleA(nullptr), kSwatchClass, &wc))
        return;
    wc.lpfnWndProc = SwatchProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    // No class cursor: nothing but the picker sets the cursor.
    wc.lpszClassName = kSwatchClass;
    RegisterClassA(&wc);
}

COLORREF PixelOf(HWND hWnd, int x, int y)
{
    HDC hDC = GetDC(hWnd);
    COLORREF c = GetPixel(hDC, x, y);
    ReleaseDC(hWnd, hDC);
    return c;
}

enum class Look { Normal, Inverted, Other };

struct Swatch {
    std::string name;
    HWND hWnd;
    COLORREF colour;
};

// Two opposite corners of the client area, which an inversion of the whole
// client area both flips.
Look LookOf(const Swatch& s)
{
    RECT rc;
    GetClientRect(s.hWnd, &rc);
    COLORREF a = PixelOf(s.hWnd, 1, 1);
    COLORREF b = PixelOf(s.hWnd, rc.right - 2, rc.bottom - 2);
    COLORREF inverse = ~s.colour & 0x00FFFFFF;
    if (a == s.colour && b == s.colour)
        return Look::Normal;
    if (a == inverse && b == inverse)
        return Look::Inverted;
    return Look::Other;
}

CPoint CentreOf(HWND hWnd)
{
    CRect rc;
    GetWindowRect(hWnd, &rc);
    return CPoint((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
}

// The owner and its neighbours in the lower part of the 1280 x 1024 screen,
// below the dialogs that other tests centre on it. All are topmost, so that
// no other test's window comes between.
//
//   corner  above
//   left  [ owner ] right            dialog [button]
//           below  victim
class WindowPickerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterSwatchClass();
        m_hOwner = AddTopLevel("owner", WS_OVERLAPPEDWINDOW, 560, 760, 220, 140, RGB(0x40, 0x60, 0x80));
        m_owner = CWnd(m_hOwner);
        GetWindowRect(m_hOwner, &m_rcOwner);
        const CRect& r = m_rcOwner;
        m_hRight = AddTopLevel("right", WS_POPUP, r.right, r.top, 90, 90, RGB(0xC0, 0x20, 0x20));
        m_hBelow = AddTopLevel("below", WS_POPUP, r.left, r.bottom, 120, 60, RGB(0x20, 0xA0, 0x20));
        m_hLeft = AddTopLevel("left", WS_POPUP, r.left - 90, r.top + 40, 90, 90, RGB(0x20, 0x20, 0xC0));
        m_hAbove = AddTopLevel("above", WS_POPUP, r.left + 40, r.top - 60, 150, 60, RGB(0xC0, 0xC0, 0x20));
        m_hCorner = AddTopLevel("corner", WS_POPUP, r.left - 90, r.top - 60, 80, 50, RGB(0x20, 0xC0, 0xC0));
        m_hVictim = AddTopLevel("victim", WS_POPUP, r.left + 140, r.bottom, 80, 60, RGB(0xC0, 0x20, 0xC0));
        m_hDialog = AddTopLevel("dialog", WS_OVERLAPPED | WS_CAPTION | WS_CLIPCHILDREN, r.right + 110, r.top,
                                220, 160, RGB(0xE0, 0xD0, 0xB0));
        m_hButton = CreateWindowExA(0, "BUTTON", "OK", WS_CHILD | BS_OWNERDRAW, 10, 10, 70, 30, m_hDialog,
                                    nullptr, GetModuleHandleA(nullptr), nullptr);
        SetWindowLongPtrA(m_hButton, GWLP_USERDATA, RGB(0x60, 0x30, 0x10));
        ShowWindow(m_hButton, SW_SHOWNOACTIVATE);
        m_swatches.push_back({"button", m_hButton, RGB(0x60, 0x30, 0x10)});
        SetForegroundWindow(m_hOwner);

        ASSERT_TRUE(testkit::WaitFor([this] { return Inverted().empty(); }, 5000)) << Inverted();
        for (const Swatch& s : m_swatches)
            ASSERT_EQ(s.hWnd, WindowFromPoint(CentreOf(s.hWnd))) << s.name << " is covered";
        ASSERT_TRUE(inversions::Install());
        inversions::g_windows.clear();
    }

    // The windows go with the test's process: destroying or hiding one with
    // a caption makes Wine wait two seconds for a window manager that the
    // display does not have.
    void TearDown() override { ReleaseCapture(); }

    HWND AddTopLevel(const char* name, DWORD style, int x, int y, int cx, int cy, COLORREF colour)
    {
        HWND h = CreateWindowExA(WS_EX_TOPMOST, kSwatchClass, name, style, x, y, cx, cy, nullptr, nullptr,
                                 GetModuleHandleA(nullptr),
                                 reinterpret_cast<LPVOID>(static_cast<UINT_PTR>(colour)));
        ShowWindow(h, SW_SHOWNOACTIVATE);
        UpdateWindow(h);
        m_swatches.push_back({name, h, colour});
        return h;
    }

    std::string NameOf(HWND hWnd) const
    {
        for (const Swatch& s : m_swatches)
            if (s.hWnd == hWnd)
                return s.name;
        if (!hWnd)
            return "null";
        return hWnd == GetDesktopWindow() ? "desktop" : "other";
    }

    // The names of the windows that show inverted now, in creation order; a
    // window that shows neither its colour nor its complement gets a "?".
    std::string Inverted() const
    {
        std::string out;
        for (const Swatch& s : m_swatches) {
            if (!IsWindow(s.hWnd))
                continue;
            Look look = LookOf(s);
            if (look == Look::Normal)
                continue;
            out += (out.empty() ? "" : ",") + s.name + (look == Look::Other ? "?" : "");
        }
        return out;
    }

    // The windows inverted or restored since the last call, in order.
    std::string Drawn() const
    {
        std::string out;
        for (HWND h : inversions::g_windows)
            out += (out.empty() ? "" : ",") + NameOf(h);
        inversions::g_windows.clear();
        return out;
    }

    // A screen point in the owner's client coordinates, as a mouse message
    // under capture carries it.
    CPoint ClientPoint(POINT screen) const
    {
        ScreenToClient(m_hOwner, &screen);
        return CPoint(screen);
    }

    NamedLock m_lock{kSceneLock};
    HWND m_hOwner = nullptr;
    CWnd m_owner;
    CRect m_rcOwner;
    HWND m_hRight = nullptr, m_hBelow = nullptr, m_hLeft = nullptr, m_hAbove = nullptr, m_hCorner = nullptr,
         m_hVictim = nullptr, m_hDialog = nullptr, m_hButton = nullptr;
    std::vector<Swatch> m_swatches;
};

TEST_F(WindowPickerTest, HoldsTheCaptureAndThePickCursorUntilEnd)
{
    CWindowPicker picker(&m_owner, ClientPoint(CentreOf(m_hOwner)), IDC_PICK_CURSOR);
    EXPECT_EQ(m_hOwner, GetCapture());
    EXPECT_EQ(LoadCursorA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDC_PICK_CURSOR)), GetCursor());

    picker.Track(ClientPoint(CentreOf(m_hRight)));
    picker.Track(ClientPoint(CentreOf(m_hOwner)));
    EXPECT_EQ(m_hOwner, GetCapture());

    picker.End();
    EXPECT_EQ(nullptr, GetCapture());
}

TEST_F(WindowPickerTest, PressAndReleaseWithoutMovePicksNothing)
{
    // The press point lies over a candidate: it must not count as a move.
    CWindowPicker picker(&m_owner, ClientPoint(CentreOf(m_hRight)), IDC_PICK_CURSOR);
    EXPECT_EQ("", Inverted());
    picker.End();
    EXPECT_EQ(nullptr, picker.GetTarget());
    EXPECT_EQ("", Inverted());
    EXPECT_EQ("", Drawn());
    EXPECT_EQ(nullptr, GetCapture());
}

TEST_F(WindowPickerTest, InvertsOnlyTheWindowUnderThePointer)
{
    CWindowPicker picker(&m_owner, ClientPoint(CentreOf(m_hOwner)), IDC_PICK_CURSOR);
    // To and fro: each change restores the old window before it inverts the new.
    struct Step {
        HWND hWnd;
        const char* inverted;
        const char* drawn;
    } steps[] = {{m_hRight, "right", "right"},         {m_hBelow, "below", "right,below"},
                 {m_hRight, "right", "below,right"},   {m_hBelow, "below", "right,below"},
                 {m_hDialog, "dialog", "below,dialog"}, {m_hLeft, "left", "dialog,left"}};
    for (const Step& step : steps) {
        picker.Track(ClientPoint(CentreOf(step.hWnd)));
        EXPECT_EQ(step.inverted, Inverted());
        EXPECT_EQ(step.drawn, Drawn());
        EXPECT_EQ(step.hWnd, picker.GetTarget()) << step.inverted;
    }

    // Over no window at all (Wine reports the desktop) the window is restored
    // and dropped.
    const POINT empty = {1275, 1019};
    ASSERT_EQ(GetDesktopWindow(), WindowFromPoint(empty));
    picker.Track(ClientPoint(empty));
    EXPECT_EQ("", Inverted());
    EXPECT_EQ("left", Drawn());
    EXPECT_EQ(nullptr, picker.GetTarget());

    picker.Track(ClientPoint(CentreOf(m_hAbove)));
    EXPECT_EQ("above", Drawn());
    picker.End();
    EXPECT_EQ("", Inverted());
    EXPECT_EQ("above", Drawn());
    EXPECT_EQ(m_hAbove, picker.GetTarget());
}

TEST_F(WindowPickerTest, DrawsNothingWhileTheWindowStaysTheSame)
{
    CWindowPicker picker(&m_owner, ClientPoint(CentreOf(m_hOwner)), IDC_PICK_CURSOR);
    // Moves within the owner, with nothing highlighted yet.
    picker.Track(ClientPoint(CentreOf(m_hOwner)));
    picker.Track(CPoint(5, 5));
    EXPECT_EQ("", Drawn());

    picker.Track(ClientPoint(CentreOf(m_hRight)));
    EXPECT_EQ("right", Drawn());
    CRect rc;
    GetWindowRect(m_hRight, &rc);
    for (int i = 0; i < 4; ++i) {
        picker.Track(ClientPoint(CPoint(rc.left + 3 + i * 20, rc.top + 3 + i * 15)));
        picker.Track(ClientPoint(CentreOf(m_hRight)));
    }
    EXPECT_EQ("", Drawn());
    EXPECT_EQ("right", Inverted());

    // Moves over no window, once the window is restored.
    picker.Track(ClientPoint(CPoint(1275, 1019)));
    EXPECT_EQ("right", Drawn());
    picker.Track(ClientPoint(CPoint(1270, 1010)));
    EXPECT_EQ("", Drawn());
    picker.End();
    EXPECT_EQ("", Drawn());
}

TEST_F(WindowPickerTest, OwnerWindowIsNeverPickedAndRestoresTheLastWindow)
{
    CWindowPicker picker(&m_owner, ClientPoint(CentreOf(m_hOwner)), IDC_PICK_CURSOR);
    const CRect& r = m_rcOwner;
    const POINT onOwner[] = {
        CentreOf(m_hOwner),                      // client area
        {(r.left + r.right) / 2, r.top + 4},     // caption
        {r.left + 1, (r.top + r.bottom) / 2},    // left frame
        {(r.left + r.right) / 2, r.bottom - 1},  // bottom frame
    };
    for (const POINT& pt : onOwner) {
        picker.Track(ClientPoint(CentreOf(m_hRight)));
        ASSERT_EQ("right", Inverted());
        Drawn();
        picker.Track(ClientPoint(pt));
        EXPECT_EQ("", Inverted()) << pt.x << "," << pt.y;
        EXPECT_EQ("right", Drawn()) << pt.x << "," << pt.y;
        EXPECT_EQ(nullptr, picker.GetTarget()) << pt.x << "," << pt.y;
    }
    // The last move lay on the owner: the release picks nothing, whatever was
    // highlighted earlier in the drag.
    picker.End();
    EXPECT_EQ(nullptr, picker.GetTarget());
    EXPECT_EQ("", Inverted());
    EXPECT_EQ("", Drawn());
}

TEST_F(WindowPickerTest, OwnerLeftAndTopEdgesAreInsideRightAndBottomOutside)
{
    CWindowPicker picker(&m_owner, ClientPoint(CentreOf(m_hOwner)), IDC_PICK_CURSOR);
    const CRect& r = m_rcOwner;
    const int midY = r.top + 70;  // beside the left window and the right one
    const int midX = r.left + 60;  // over the above window and the below one
    struct Step {
        POINT screen;
        HWND hWnd;
        const char* name;
    } steps[] = {
        {{r.left - 1, midY}, m_hLeft, "left"},  {{r.left, midY}, nullptr, ""},
        {{midX, r.top - 1}, m_hAbove, "above"}, {{midX, r.top}, nullptr, ""},
        {{r.right, midY}, m_hRight, "right"},   {{r.right - 1, midY}, nullptr, ""},
        {{midX, r.bottom}, m_hBelow, "below"},  {{midX, r.bottom - 1}, nullptr, ""},
    };
    for (const Step& step : steps) {
        picker.Track(ClientPoint(step.screen));
        EXPECT_EQ(step.name, Inverted()) << step.screen.x << "," << step.screen.y;
        EXPECT_EQ(step.hWnd, picker.GetTarget()) << step.screen.x << "," << step.screen.y;
    }
    picker.End();
}

TEST_F(WindowPickerTest, ButtonAndItsDialogAreDifferentWindows)
{
    CWindowPicker picker(&m_owner, ClientPoint(CentreOf(m_hOwner)), IDC_PICK_CURSOR);
    CRect rcDialog;
    GetWindowRect(m_hDialog, &rcDialog);
    const POINT background = {rcDialog.right - 30, rcDialog.bottom - 30};
    ASSERT_EQ(m_hDialog, WindowFromPoint(background));

    picker.Track(ClientPoint(CentreOf(m_hButton)));
    EXPECT_EQ("button", Inverted());
    EXPECT_EQ("button", Drawn());
    EXPECT_EQ(m_hButton, picker.GetTarget());

    picker.Track(ClientPoint(background));
    EXPECT_EQ("dialog", Inverted());
    EXPECT_EQ("button,dialog", Drawn());
    EXPECT_EQ(m_hDialog, picker.GetTarget());

    picker.Track(ClientPoint(CentreOf(m_hButton)));
    EXPECT_EQ("button", Inverted());
    EXPECT_EQ("dialog,button", Drawn());

    // Released over the button: it is restored first and is the pick.
    picker.End();
    EXPECT_EQ("", Inverted());
    EXPECT_EQ("button", Drawn());
    EXPECT_EQ(m_hButton, picker.GetTarget());
}

TEST_F(WindowPickerTest, PointsLeftOfAndAboveTheClientAreaAreNegative)
{
    CWindowPicker picker(&m_owner, ClientPoint(CentreOf(m_hOwner)), IDC_PICK_CURSOR);
    struct Step {
        HWND hWnd;
        const char* name;
        bool bNegativeX, bNegativeY;
    } steps[] = {{m_hLeft, "left", true, false},
                 {m_hCorner, "corner", true, true},
                 {m_hAbove, "above", false, true}};
    for (const Step& step : steps) {
        CPoint pt = ClientPoint(CentreOf(step.hWnd));
        ASSERT_EQ(step.bNegativeX, pt.x < 0) << step.name;
        ASSERT_EQ(step.bNegativeY, pt.y < 0) << step.name;
        picker.Track(pt);
        EXPECT_EQ(step.name, Inverted());
        EXPECT_EQ(step.hWnd, picker.GetTarget()) << step.name;
    }
    // Just left of the client area lies the owner's own frame.
    CRect rcClient;
    GetClientRect(m_hOwner, &rcClient);
    picker.Track(CPoint(-1, rcClient.bottom / 2));
    EXPECT_EQ("", Inverted());
    EXPECT_EQ(nullptr, picker.GetTarget());
    picker.End();
}

TEST_F(WindowPickerTest, DestroyedTargetIsNotDrawnOn)
{
    CWindowPicker picker(&m_owner, ClientPoint(CentreOf(m_hOwner)), IDC_PICK_CURSOR);
    const POINT victimCentre = CentreOf(m_hVictim);
    picker.Track(ClientPoint(victimCentre));
    ASSERT_EQ("victim", Inverted());
    DestroyWindow(m_hVictim);
    ASSERT_FALSE(IsWindow(m_hVictim));
    Drawn();

    picker.Track(ClientPoint(CentreOf(m_hRight)));
    EXPECT_EQ("right", Inverted());
    EXPECT_EQ("right", Drawn());
    EXPECT_EQ(m_hRight, picker.GetTarget());

    // Another one, destroyed while it is the target, then the release.
    HWND hVictim2 = AddTopLevel("victim2", WS_POPUP, victimCentre.x - 20, victimCentre.y - 20, 40, 40,
                                RGB(0x90, 0x90, 0x30));
    ASSERT_TRUE(testkit::WaitFor(
        [&] { return WindowFromPoint(victimCentre) == hVictim2 && Inverted() == "right"; }, 5000))
        << Inverted();
    picker.Track(ClientPoint(victimCentre));
    ASSERT_EQ("victim2", Inverted());
    DestroyWindow(hVictim2);
    Drawn();
    picker.End();
    EXPECT_EQ("", Drawn());
    EXPECT_EQ("", Inverted());
    EXPECT_EQ(nullptr, GetCapture());
}

TEST_F(WindowPickerTest, ToggleHighlightDrawsNothingWithoutALiveWindow)
{
    ToggleHighlight(m_hRight);
    EXPECT_EQ("right", Inverted());
    ToggleHighlight(m_hRight);
    EXPECT_EQ("", Inverted());
    EXPECT_EQ("right,right", Drawn());

    HWND hGone = CreateWindowExA(0, kSwatchClass, "gone", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
    DestroyWindow(hGone);
    ASSERT_FALSE(IsWindow(hGone));

    // GetDC(NULL) would be the whole screen.
    ToggleHighlight(nullptr);
    ToggleHighlight(hGone);
    EXPECT_EQ("", Drawn());
    EXPECT_EQ("", Inverted());
}

// ---------------------------------------------------------------------------
// A drag with the real mouse (xdotool on the X display), with an owner that
// feeds the picker from its own mouse messages as the settings dialog does,
// over a button of another process.

struct DragLog {
    CWnd owner;
    CWindowPicker* pPicker = nullptr;
    int nMoves = 0;
    CPoint lastScreen;
    HWND hCaptureAtLastMove = nullptr;
    HWND hTargetAtLastMove = nullptr;
    bool bEnded = false;
    HWND hPick = nullptr;
    HWND hCaptureAfterEnd = nullptr;
};
DragLog g_drag;

LRESULT CALLBACK DragOwnerProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_LBUTTONDOWN:
        if (!g_drag.pPicker) {
            g_drag.owner = CWnd(hWnd);
            g_drag.pPicker = new CWindowPicker(&g_drag.owner, CPoint(lParam), IDC_PICK_CURSOR);
        }
        return 0;
    case WM_MOUSEMOVE:
        if (g_drag.pPicker) {
            CPoint pt(lParam);
            g_drag.pPicker->Track(pt);
            ClientToScreen(hWnd, &pt);
            ++g_drag.nMoves;
            g_drag.lastScreen = pt;
            g_drag.hCaptureAtLastMove = GetCapture();
            g_drag.hTargetAtLastMove = g_drag.pPicker->GetTarget();
        }
        return 0;
    case WM_LBUTTONUP:
        if (g_drag.pPicker) {
            g_drag.pPicker->End();
            g_drag.hPick = g_drag.pPicker->GetTarget();
            g_drag.hCaptureAfterEnd = GetCapture();
            g_drag.bEnded = true;
            delete g_drag.pPicker;
            g_drag.pPicker = nullptr;
        }
        return 0;
    default:
        return DefWindowProcA(hWnd, message, wParam, lParam);
    }
}

// start /unix runs a program of the machine; start itself returns at once,
// so callers wait for what the input does.
bool Xdotool(const std::string& args)
{
    testkit::Process p("start.exe /unix /usr/bin/xdotool " + args);
    return p.Started() && p.WaitExit(10000);
}

// Lets go of the mouse button if a failed step left it down, so the display
// stays usable for the tests that come after.
struct ButtonGuard {
    bool bDown = false;
    ~ButtonGuard()
    {
        if (bDown)
            Xdotool("mouseup 1");
    }
};

std::string Coords(POINT pt)
{
    return std::to_string(pt.x) + " " + std::to_string(pt.y);
}

TEST(WindowPickerDrag, PicksAnotherProgramsButtonWithTheMouse)
{
    NamedLock scene(kSceneLock);
    // The names other test files use for their drags.
    NamedLock mouse("zelvano-tests-mouse");
    NamedLock settingsMouse("zelvano-settings-tests-mouse");

    testkit::TargetApp app({"W:PickerDragTarget", "B:Pick me"});
    ASSERT_TRUE(app.Ready());
    HWND hTop = testkit::FindWindowOf(app.ProcessId(), "PickerDragTarget");
    ASSERT_NE(nullptr, hTop);
    HWND hButton = GetWindow(hTop, GW_CHILD);
    ASSERT_NE(nullptr, hButton);
    // Down in the lower part of the screen, above the windows of any test
    // running beside this one.
    SetWindowPos(hTop, HWND_TOPMOST, 720, 720, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);

    WNDCLASSA wc = {};
    wc.lpfnWndProc = DragOwnerProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = "ZelvanoPickerDragOwner";
    ASSERT_NE(0, RegisterClassA(&wc));
    HWND hOwner = CreateWindowExA(WS_EX_TOPMOST, wc.lpszClassName, "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                  440, 780, 240, 160, nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(nullptr, hOwner);
    UpdateWindow(hOwner);

    const POINT press = CentreOf(hOwner);
    POINT overDialog = {300, 200};
    POINT overButton = {};
    ASSERT_TRUE(testkit::WaitFor([&] {
        overDialog = {300, 200};
        ClientToScreen(hTop, &overDialog);
        overButton = CentreOf(hButton);
        return WindowFromPoint(press) == hOwner && WindowFromPoint(overButton) == hButton &&
               WindowFromPoint(overDialog) == hTop;
    }));

    ButtonGuard guard;
    ASSERT_TRUE(Xdotool("mousemove " + Coords(press)));
    ASSERT_TRUE(testkit::WaitFor([&] {
        POINT pt;
        return GetCursorPos(&pt) && pt.x == press.x && pt.y == press.y;
    }));
    guard.bDown = true;
    ASSERT_TRUE(Xdotool("mousedown 1"));
    ASSERT_TRUE(testkit::WaitFor([] { return g_drag.pPicker != nullptr; }));
    EXPECT_EQ(hOwner, GetCapture());

    // Over the other program's window the moves still come to the owner.
    ASSERT_TRUE(Xdotool("mousemove " + Coords(overDialog)));
    ASSERT_TRUE(testkit::WaitFor([&] { return g_drag.lastScreen == CPoint(overDialog); }))
        << g_drag.nMoves << " moves, last " << Coords(g_drag.lastScreen);
    EXPECT_EQ(hOwner, g_drag.hCaptureAtLastMove);
    EXPECT_EQ(hTop, g_drag.hTargetAtLastMove);

    ASSERT_TRUE(Xdotool("mousemove " + Coords(overButton)));
    ASSERT_TRUE(testkit::WaitFor([&] { return g_drag.lastScreen == CPoint(overButton); }))
        << g_drag.nMoves << " moves, last " << Coords(g_drag.lastScreen);
    EXPECT_EQ(hOwner, g_drag.hCaptureAtLastMove);
    EXPECT_EQ(hButton, g_drag.hTargetAtLastMove);

    ASSERT_TRUE(Xdotool("mouseup 1"));
    ASSERT_TRUE(testkit::WaitFor([] { return g_drag.bEnded; }));
    guard.bDown = false;
    EXPECT_EQ(hButton, g_drag.hPick);
    EXPECT_EQ(nullptr, g_drag.hCaptureAfterEnd);
    // The drag went to the owner alone: the button saw no mouse message.
    EXPECT_TRUE(app.MessagesOf(0).empty());
}

}  // namespace
