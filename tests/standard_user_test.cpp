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

using testkit::Shown;
using testkit::Strings;

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

// A list that is no read-only file, as on Windows, where only the folder's
// permissions keep this user out, with what an administrator's save that was
// killed left beside it (tools/standard_user.sh installs admin\open\*).
const AdminList kLeftovers[] = {
    {"zvstd-left.INI", "[BUTTON]\r\nBTN1=標準窓,既存\r\nBTN2=店窓,店\r\n"},
    {"zvstd-left.INI.tmp", "[BUTTON]\r\nBTN1=残骸,x\r\n"},
    {"zvstd-left.INI.7FFFFFFC-0.tmp", "[BUTTON]\r\nBTN1=残骸,y\r\n"},
};

std::string UserStore(const char* stem)
{
    char local[MAX_PATH] = {}, windows[MAX_PATH] = {};
    GetEnvironmentVariableA("LOCALAPPDATA", local, MAX_PATH);
    GetWindowsDirectoryA(windows, MAX_PATH);
    return std::string(local) + "\\VirtualStore" + (windows + 2) + "\\" + stem + ".INI";
}

// A drag as the dialog receives it: the pointer moves along, the messages are posted.
void PostMouse(HWND hDlg, UINT message, POINT screen)
{
    SetCursorPos(screen.x, screen.y);
    ScreenToClient(hDlg, &screen);
    PostMessageA(hDlg, message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON, MAKELPARAM(screen.x, screen.y));
}

int ListCount(HWND hDlg) { return static_cast<int>(SendDlgItemMessageA(hDlg, IDC_TARGET_LIST, LB_GETCOUNT, 0, 0)); }

void Click(HWND hDlg, int id) { PostMessageA(GetDlgItem(hDlg, id), BM_CLICK, 0, 0); }

// In the settings of a start whose list holds two entries, deletes the first
// and presses OK; null where a step failed.
HWND DeleteFirstAndSave(const testkit::ZelvanoStart& start)
{
    HWND hDlg = start.OpenSettings();
    if (!hDlg || ListCount(hDlg) != 2)
        return nullptr;
    SendDlgItemMessageA(hDlg, IDC_TARGET_LIST, LB_SETCURSEL, 0, 0);
    Click(hDlg, IDC_DELETE);
    if (!testkit::WaitFor([&] { return ListCount(hDlg) == 1; }))
        return nullptr;
    Click(hDlg, IDOK);
    return hDlg;
}

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
    testkit::ZelvanoCopy zelvano(list.stem);
    ASSERT_EQ(list.bytes, testkit::ReadFile(zelvano.profile));
    DeleteFileA(UserStore(list.stem).c_str());
    testkit::TargetApp target(kTargets);
    ASSERT_TRUE(target.Ready());
    {
        testkit::ZelvanoStart first(zelvano.exe);
        ASSERT_TRUE(first.hMain);
        EXPECT_NE(std::string::npos, first.report.find("に\r\n" + Shown(1, "標準窓", "既存")));
        HWND hDlg = first.OpenSettings(), hButton = FindWindowExA(FindWindowA(nullptr, "標準窓"), nullptr, nullptr, "新規");
        ASSERT_TRUE(hDlg && hButton);
        ASSERT_EQ(hButton, WindowFromPoint(testkit::CentreOf(hButton)));
        PostMouse(hDlg, WM_LBUTTONDOWN, testkit::CentreOf(GetDlgItem(hDlg, IDC_MARKER)));
        ASSERT_TRUE(testkit::WaitFor([&] { return testkit::HasCapture(hDlg); }));
        PostMouse(hDlg, WM_MOUSEMOVE, testkit::CentreOf(hButton));
        PostMouse(hDlg, WM_LBUTTONUP, testkit::CentreOf(hButton));
        HWND hBox = testkit::WaitBox(first.process.Id(), list.stem);
        ASSERT_TRUE(hBox);
        EXPECT_EQ("押されるボタンは\"標準窓\"ｳｨﾝﾄﾞの\r\n\"新規\"ボタンで良いですか？", testkit::BoxText(hBox));
        PostMessageA(hBox, WM_COMMAND, IDOK, 0);
        // Off every window: when our windows close, X gives the focus to the
        // window under the pointer, and that focus moving on later can cancel a
        // press halfway.
        SetCursorPos(2, GetSystemMetrics(SM_CYSCREEN) - 3);
        ASSERT_TRUE(testkit::WaitFor([&] { return testkit::WindowTextOf(GetDlgItem(hDlg, IDC_PATH)) == "標準窓,新規"; }));
        Click(hDlg, IDC_ADD);
        ASSERT_TRUE(testkit::WaitFor([&] { return ListCount(hDlg) == 2; }));
        Click(hDlg, IDOK);
        // A refused save would keep the dialog open behind its message.
        EXPECT_TRUE(testkit::WaitFor([&] { return !IsWindow(hDlg); }));
        EXPECT_EQ(nullptr, testkit::FindBox(first.process.Id(), list.stem));
        EXPECT_TRUE(first.Close());
    }
    EXPECT_EQ("; 管理者が置いたリスト\r\n[BUTTON]\r\nBTN1=標準窓,既存\r\nBTN2=標準窓,新規\r\nBTN3=\r\n[管理者]\r\n鍵=値\r\n",
              testkit::ReadFile(UserStore(list.stem)));
    EXPECT_EQ(list.bytes, testkit::ReadFile(zelvano.profile));
    // Nothing of the save is left beside either file.
    for (const std::string& file : {zelvano.profile, UserStore(list.stem)})
        EXPECT_EQ(Strings(), testkit::SaveTempsOf(file)) << file;
    {
        testkit::ZelvanoStart next(zelvano.exe);
        EXPECT_NE(std::string::npos, next.report.find("に\r\n" + Shown(1, "標準窓", "既存") + Shown(2, "標準窓", "新規")));
        // Three presses of three messages; whether the button then clicks is Wine's affair.
        EXPECT_TRUE(testkit::WaitFor([&] { return target.MessagesOf(0).size() == 6 && target.MessagesOf(1).size() == 3; }));
        EXPECT_TRUE(next.Close());
    }
    Strings twice = testkit::kOnePress;
    twice.insert(twice.end(), testkit::kOnePress.begin(), testkit::kOnePress.end());
    EXPECT_EQ(twice, target.MessagesOf(0)) << testing::PrintToString(target.Events());
    EXPECT_EQ(testkit::kOnePress, target.MessagesOf(1));
    EXPECT_EQ(list.bytes, testkit::ReadFile(zelvano.profile));
}

TEST(StandardUser, TheUserStoreWinsOverTheSystemProfile)
{
    const AdminList& list = kAdminLists[1];
    testkit::ZelvanoCopy zelvano(list.stem);
    const std::string store = UserStore(list.stem);
    ASSERT_TRUE(testkit::WriteFile(store, "[BUTTON]\r\nBTN1=店窓,店\r\n"));
    testkit::TargetApp target(kTargets);
    ASSERT_TRUE(target.Ready());
    {
        testkit::ZelvanoStart start(zelvano.exe);
        EXPECT_NE(std::string::npos, start.report.find("に\r\n" + Shown(1, "店窓", "店") + "を")) << start.report;
        EXPECT_TRUE(testkit::WaitFor([&] { return target.MessagesOf(2).size() == 3; }));
        EXPECT_TRUE(start.Close());
    }
    EXPECT_EQ(testkit::kOnePress, target.MessagesOf(2));
    EXPECT_TRUE(target.MessagesOf(0).empty());
    DeleteFileA(store.c_str());
}

// The user store's folder cannot be made either: the save is refused as
// before, and the list that was read stays the dialog's.
TEST(StandardUser, WhenTheUserStoreRefusesTooTheSaveIsRefusedAndTheListKept)
{
    const AdminList& list = kAdminLists[2];
    testkit::ZelvanoCopy zelvano(list.stem);
    const std::string locked = testkit::BuildDir() + "\\locked";
    ASSERT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY),
              GetFileAttributesA(locked.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    testkit::ZelvanoStart start(zelvano.exe, locked.c_str());
    ASSERT_TRUE(start.hMain);
    HWND hDlg = DeleteFirstAndSave(start);
    ASSERT_TRUE(hDlg);
    HWND hBox = testkit::WaitBox(start.process.Id(), list.stem);
    ASSERT_TRUE(hBox);
    EXPECT_EQ("リストを保存できませんでした。\r\n設定ファイルに書き込めるか確かめてください。", testkit::BoxText(hBox));
    PostMessageA(hBox, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(testkit::WaitFor([&] { return !IsWindow(hBox); }));
    EXPECT_TRUE(IsWindowVisible(hDlg));
    Click(hDlg, IDC_CANCEL_BUTTON);
    ASSERT_TRUE(testkit::WaitFor([&] { return !IsWindow(hDlg); }));
    hDlg = start.OpenSettings();
    ASSERT_TRUE(hDlg);
    EXPECT_EQ(2, ListCount(hDlg));
    EXPECT_EQ(list.bytes, testkit::ReadFile(zelvano.profile));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((locked + "\\VirtualStore").c_str()));
    Click(hDlg, IDC_CANCEL_BUTTON);
    EXPECT_TRUE(start.Close());
}

// Temporary files that this user can neither remove nor write beside: the save goes to the user store
// all the same, and they stay, never read.
TEST(StandardUser, LeftoversOfAnAdministratorsSaveNeitherBlockTheSaveNorAreRead)
{
    testkit::ZelvanoCopy zelvano("zvstd-left");
    const std::string store = UserStore("zvstd-left");
    DeleteFileA(store.c_str());
    ASSERT_EQ(kLeftovers[0].bytes, testkit::ReadFile(zelvano.profile));
    ASSERT_EQ(0u, GetFileAttributesA(zelvano.profile.c_str()) & FILE_ATTRIBUTE_READONLY);
    testkit::ZelvanoStart start(zelvano.exe);
    ASSERT_TRUE(start.hMain);
    HWND hDlg = DeleteFirstAndSave(start);
    ASSERT_TRUE(hDlg);
    EXPECT_TRUE(testkit::WaitFor([&] { return !IsWindow(hDlg); }));
    EXPECT_EQ(nullptr, testkit::FindBox(start.process.Id(), "zvstd-left"));
    EXPECT_EQ("[BUTTON]\r\nBTN1=店窓,店\r\nBTN2=\r\n", testkit::ReadFile(store));
    for (const AdminList& file : kLeftovers)
        EXPECT_EQ(file.bytes, testkit::ReadFile(testkit::WindowsDirFile(file.stem))) << file.stem;
    EXPECT_TRUE(start.Close());
    DeleteFileA(store.c_str());
}

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--prepare") == 0) {
        std::string dir = testkit::BuildDir() + "\\admin";
        CreateDirectoryA(dir.c_str(), nullptr);
        for (const AdminList& list : kAdminLists)
            if (!testkit::WriteFile(dir + "\\" + list.stem + ".INI", list.bytes))
                return 1;
        CreateDirectoryA((dir + "\\open").c_str(), nullptr);
        for (const AdminList& file : kLeftovers)
            if (!testkit::WriteFile(dir + "\\open\\" + file.stem, file.bytes))
                return 1;
        return 0;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return testkit::RunAllTests();
}
