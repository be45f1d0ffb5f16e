// The built program as a standard user sees it: run by tools/standard_user.sh
// as an unprivileged account whose Windows directory is read-only.
//   standard_user_tests.exe --prepare   writes the lists an administrator puts
//                                       in the Windows directory (admin\*.INI)
//   standard_user_tests.exe             the tests, once they are in place
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/testkit.h"

namespace {

using Strings = std::vector<std::string>;
const Strings kOnePress = {"WM_LBUTTONDOWN 0 0", "WM_LBUTTONDOWN 0 0", "WM_LBUTTONUP 0 0"};
const char kSettingsCaption[] = "設定とﾊﾞｰｼﾞｮﾝ情報";

// Buttons 0 and 1 in one window, 2 in another.
const Strings kTargets = {"W:標準窓", "B:既存", "B:新規", "W:店窓", "B:店"};

struct AdminList {
    const char* stem;
    const char* bytes;
};
const AdminList kAdminLists[] = {
    {"zvstd-pick", "; 管理者が置いたリスト\r\n[BUTTON]\r\nBTN1=標準窓,既存\r\nBTN2=\r\n[管理者]\r\n鍵=値\r\n"},
    {"zvstd-both", "[BUTTON]\r\nBTN1=標準窓,既存\r\n"},
    {"zvstd-locked", "[BUTTON]\r\nBTN1=標準窓,既存\r\nBTN2=店窓,店\r\n"},
};

std::string SystemProfile(const char* stem) { return testkit::WindowsDirFile((std::string(stem) + ".INI").c_str()); }

std::string UserStore(const char* stem)
{
    char local[MAX_PATH] = {}, windows[MAX_PATH] = {};
    GetEnvironmentVariableA("LOCALAPPDATA", local, MAX_PATH);
    GetWindowsDirectoryA(windows, MAX_PATH);
    return std::string(local) + "\\VirtualStore" + (windows + 2) + "\\" + stem + ".INI";
}

std::string Copy(const char* stem)
{
    std::string exe = testkit::BuildDir() + "\\" + stem + ".exe";
    EXPECT_TRUE(CopyFileA((testkit::BuildDir() + "\\zelvano.exe").c_str(), exe.c_str(), FALSE));
    return "\"" + exe + "\"";
}

HWND WaitWindow(DWORD pid, const char* title)
{
    HWND h = nullptr;
    testkit::WaitFor([&] { return (h = testkit::FindWindowOf(pid, title)) != nullptr && IsWindowVisible(h); });
    return h;
}

std::string ReportOf(HWND hMain)
{
    std::string report;
    testkit::WaitFor([&] { return !(report = testkit::WindowTextOf(GetDlgItem(hMain, IDC_REPORT))).empty(); });
    return report;
}

std::string Line(int n, const char* window, const char* button)
{
    return std::to_string(n) + ")\"" + window + "\"ｳｨﾝﾄﾞの\"" + button + "\"ボタン\r\n";
}

// One start of a copy: its main window, open until the object goes.
struct Start {
    testkit::Process process;
    HWND hMain;
    explicit Start(const std::string& cmd) : process(cmd), hMain(WaitWindow(process.Id(), "zelvano")) {}
    ~Start()
    {
        PostMessageA(hMain, WM_CLOSE, 0, 0);
        EXPECT_TRUE(process.WaitExit(10000));
    }
    HWND OpenSettings() const
    {
        PostMessageA(hMain, WM_SYSCOMMAND, IDM_SETTINGS, 0);
        return WaitWindow(process.Id(), kSettingsCaption);
    }
};

POINT CentreOf(HWND hWnd)
{
    RECT r = {};
    GetWindowRect(hWnd, &r);
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// A drag as the dialog receives it: the pointer moves along, the messages are posted.
void PostMouse(HWND hDlg, UINT message, POINT screen)
{
    SetCursorPos(screen.x, screen.y);
    ScreenToClient(hDlg, &screen);
    PostMessageA(hDlg, message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON, MAKELPARAM(screen.x, screen.y));
}

bool Capturing(HWND hDlg)
{
    GUITHREADINFO gui = {};
    gui.cbSize = sizeof(gui);
    return GetGUIThreadInfo(GetWindowThreadProcessId(hDlg, nullptr), &gui) && gui.hwndCapture == hDlg;
}

int ListCount(HWND hDlg) { return static_cast<int>(SendDlgItemMessageA(hDlg, IDC_TARGET_LIST, LB_GETCOUNT, 0, 0)); }

void Click(HWND hDlg, int id) { PostMessageA(GetDlgItem(hDlg, id), BM_CLICK, 0, 0); }

}  // namespace

TEST(StandardUser, TheWindowsDirectoryRefusesThisUser)
{
    std::string probe = testkit::WindowsDirFile("zvstd-probe.INI");
    EXPECT_FALSE(WritePrivateProfileStringA("BUTTON", "BTN1", "x", probe.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
}

TEST(StandardUser, AnAdministratorsListIsPressedAndAPickIsSavedToTheUserStore)
{
    const AdminList& list = kAdminLists[0];
    const std::string system = testkit::ReadFile(SystemProfile(list.stem)), cmd = Copy(list.stem);
    ASSERT_EQ(list.bytes, system);
    DeleteFileA(UserStore(list.stem).c_str());
    testkit::TargetApp target(kTargets);
    ASSERT_TRUE(target.Ready());
    {
        Start first(cmd);
        ASSERT_TRUE(first.hMain);
        EXPECT_NE(std::string::npos, ReportOf(first.hMain).find("に\r\n" + Line(1, "標準窓", "既存")));
        HWND hDlg = first.OpenSettings(), hButton = FindWindowExA(FindWindowA(nullptr, "標準窓"), nullptr, nullptr, "新規");
        ASSERT_TRUE(hDlg && hButton);
        ASSERT_EQ(hButton, WindowFromPoint(CentreOf(hButton)));
        PostMouse(hDlg, WM_LBUTTONDOWN, CentreOf(GetDlgItem(hDlg, IDC_MARKER)));
        ASSERT_TRUE(testkit::WaitFor([&] { return Capturing(hDlg); }));
        PostMouse(hDlg, WM_MOUSEMOVE, CentreOf(hButton));
        PostMouse(hDlg, WM_LBUTTONUP, CentreOf(hButton));
        HWND hBox = nullptr;
        ASSERT_TRUE(testkit::WaitFor([&] { return (hBox = testkit::FindBox(first.process.Id(), list.stem)) != nullptr; }));
        EXPECT_EQ("押されるボタンは\"標準窓\"ｳｨﾝﾄﾞの\r\n\"新規\"ボタンで良いですか？", testkit::BoxText(hBox));
        PostMessageA(hBox, WM_COMMAND, IDOK, 0);
        ASSERT_TRUE(testkit::WaitFor([&] { return testkit::WindowTextOf(GetDlgItem(hDlg, IDC_PATH)) == "標準窓,新規"; }));
        Click(hDlg, IDC_ADD);
        ASSERT_TRUE(testkit::WaitFor([&] { return ListCount(hDlg) == 2; }));
        Click(hDlg, IDOK);
        // A refused save would keep the dialog open behind its message.
        EXPECT_TRUE(testkit::WaitFor([&] { return !IsWindow(hDlg); }));
        EXPECT_EQ(nullptr, testkit::FindBox(first.process.Id(), list.stem));
    }
    EXPECT_EQ("; 管理者が置いたリスト\r\n[BUTTON]\r\nBTN1=標準窓,既存\r\nBTN2=標準窓,新規\r\nBTN3=\r\n[管理者]\r\n鍵=値\r\n",
              testkit::ReadFile(UserStore(list.stem)));
    EXPECT_EQ(system, testkit::ReadFile(SystemProfile(list.stem)));
    {
        Start next(cmd);
        EXPECT_NE(std::string::npos,
                  ReportOf(next.hMain).find("に\r\n" + Line(1, "標準窓", "既存") + Line(2, "標準窓", "新規")));
        ASSERT_TRUE(target.WaitEvents(9));
    }
    Strings twice = kOnePress;
    twice.insert(twice.end(), kOnePress.begin(), kOnePress.end());
    EXPECT_EQ(twice, target.MessagesOf(0));
    EXPECT_EQ(kOnePress, target.MessagesOf(1));
    EXPECT_EQ(system, testkit::ReadFile(SystemProfile(list.stem)));
}

TEST(StandardUser, TheUserStoreWinsOverTheSystemProfile)
{
    const AdminList& list = kAdminLists[1];
    const std::string cmd = Copy(list.stem), store = UserStore(list.stem);
    ASSERT_TRUE(testkit::WriteFile(store, "[BUTTON]\r\nBTN1=店窓,店\r\n"));
    testkit::TargetApp target(kTargets);
    ASSERT_TRUE(target.Ready());
    {
        Start start(cmd);
        std::string report = ReportOf(start.hMain);
        EXPECT_NE(std::string::npos, report.find("に\r\n" + Line(1, "店窓", "店") + "を")) << report;
        ASSERT_TRUE(target.WaitEvents(3));
    }
    EXPECT_EQ(kOnePress, target.MessagesOf(2));
    EXPECT_TRUE(target.MessagesOf(0).empty());
    DeleteFileA(store.c_str());
}

// The user store's folder cannot be made either: the save is refused as
// before, and the list that was read stays the dialog's.
TEST(StandardUser, WhenTheUserStoreRefusesTooTheSaveIsRefusedAndTheListKept)
{
    const AdminList& list = kAdminLists[2];
    const std::string cmd = Copy(list.stem), locked = testkit::BuildDir() + "\\locked";
    ASSERT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY),
              GetFileAttributesA(locked.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    char local[MAX_PATH] = {};
    GetEnvironmentVariableA("LOCALAPPDATA", local, MAX_PATH);
    SetEnvironmentVariableA("LOCALAPPDATA", locked.c_str());
    Start start(cmd);
    SetEnvironmentVariableA("LOCALAPPDATA", local);
    ASSERT_TRUE(start.hMain);
    HWND hDlg = start.OpenSettings();
    ASSERT_TRUE(hDlg);
    ASSERT_EQ(2, ListCount(hDlg));
    SendDlgItemMessageA(hDlg, IDC_TARGET_LIST, LB_SETCURSEL, 0, 0);
    Click(hDlg, IDC_DELETE);
    ASSERT_TRUE(testkit::WaitFor([&] { return ListCount(hDlg) == 1; }));
    Click(hDlg, IDOK);
    HWND hBox = nullptr;
    ASSERT_TRUE(testkit::WaitFor([&] { return (hBox = testkit::FindBox(start.process.Id(), list.stem)) != nullptr; }));
    EXPECT_EQ("リストを保存できませんでした。\r\n設定ファイルに書き込めるか確かめてください。", testkit::BoxText(hBox));
    PostMessageA(hBox, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(testkit::WaitFor([&] { return !IsWindow(hBox); }));
    EXPECT_TRUE(IsWindowVisible(hDlg));
    Click(hDlg, IDC_CANCEL_BUTTON);
    ASSERT_TRUE(testkit::WaitFor([&] { return !IsWindow(hDlg); }));
    hDlg = start.OpenSettings();
    ASSERT_TRUE(hDlg);
    EXPECT_EQ(2, ListCount(hDlg));
    EXPECT_EQ(list.bytes, testkit::ReadFile(SystemProfile(list.stem)));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((locked + "\\VirtualStore").c_str()));
    Click(hDlg, IDC_CANCEL_BUTTON);
}

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--prepare") == 0) {
        std::string dir = testkit::BuildDir() + "\\admin";
        CreateDirectoryA(dir.c_str(), nullptr);
        for (const AdminList& list : kAdminLists)
            if (!testkit::WriteFile(dir + "\\" + list.stem + ".INI", list.bytes))
                return 1;
        return 0;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
