// The per-user store on a volume that is full, as a user's disk fills up:
// tools/full_disk_tests.sh mounts a tmpfs of three 4 KB pages and names its
// folder in ZELVANO_FULL_VOLUME; the test fills one page itself.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "res/resource.h"
#include "tests/testkit.h"

namespace {

std::string Entry(int n, const std::string& value) { return "BTN" + std::to_string(n) + "=" + value + "\r\n"; }

}  // namespace

// The list's save needs a second page once it grows, and the cut falls in the user's notes after the list:
// the old store stays byte for byte, the user is told and the dialog keeps the edits. With room made, the
// same OK saves the whole new list, the notes to their last byte.
TEST(FullDisk, AStoreOnAFullVolumeKeepsItsListTellsTheUserAndSavesOnceThereIsRoom)
{
    const char* volume = std::getenv("ZELVANO_FULL_VOLUME");
    ASSERT_TRUE(volume) << "tools/full_disk_tests.sh runs this on a volume it mounts";
    testkit::ScreenLock lock;
    const std::string stem = testkit::WithPid("zelvano-full"), window = "新しく加える見本のウィンドウ、名前が長い",
                      button = "新しく加える見本のボタン、これも名前が長い";
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    const std::string folder = std::string(volume) + "\\VirtualStore" + (windows + 2);
    const std::string store = folder + "\\" + stem + ".INI", filler = std::string(volume) + "\\filler";
    CreateDirectoryA((std::string(volume) + "\\VirtualStore").c_str(), nullptr);
    CreateDirectoryA(folder.c_str(), nullptr);
    // Five entries, no closing key, and the user's own notes after them, as full as one page holds: with
    // the first entry deleted, the long pick added and the closing key, the list needs a second page, so
    // that a write cut short ends inside the notes.
    auto value = [](int i) { return "見本のウィンドウ " + std::to_string(i) + ",見本のボタン " + std::to_string(i); };
    const int n = 5;
    std::string list, grown;
    for (int i = 1; i <= n; ++i) {
        list += Entry(i, value(i));
        if (i > 1)
            grown += Entry(i - 1, value(i));
    }
    grown += Entry(n, window + "," + button) + Entry(n + 1, "");
    std::string notes = "[メモ]\r\n";
    for (int k = 1; list.size() + notes.size() + 50 <= 4092 - 10; ++k)
        notes += "覚え書き " + std::to_string(k) + ": 自分で書いた行、消えてはならない\r\n";
    notes += std::string(4092 - 10 - 2 - list.size() - notes.size(), '-') + "\r\n";
    const std::string old = "[BUTTON]\r\n" + list + notes, saved = "[BUTTON]\r\n" + grown + notes;
    ASSERT_EQ(4092u, old.size());
    ASSERT_GT(saved.size(), 4096u);
    ASSERT_TRUE(testkit::WriteFile(store, old) && testkit::WriteFile(filler, std::string(4096, 'f')));
    ULARGE_INTEGER free = {};
    ASSERT_TRUE(GetDiskFreeSpaceExA(volume, &free, nullptr, nullptr));
    ASSERT_EQ(4096u, free.QuadPart);  // a copy of the store fits, the grown list does not

    testkit::TargetApp target({"W:" + window, "B:" + button});
    ASSERT_TRUE(target.Ready());
    testkit::ZelvanoCopy zelvano(stem);
    testkit::ZelvanoStart run(zelvano.exe, volume);
    ASSERT_TRUE(run.hMain);
    HWND hDlg = run.OpenSettings();
    ASSERT_TRUE(hDlg);
    auto count = [&] { return SendDlgItemMessageA(hDlg, IDC_TARGET_LIST, LB_GETCOUNT, 0, 0); };
    ASSERT_EQ(n, count());
    SendDlgItemMessageA(hDlg, IDC_TARGET_LIST, LB_SETCURSEL, 0, 0);
    SendMessageA(GetDlgItem(hDlg, IDC_DELETE), BM_CLICK, 0, 0);
    HWND hButton = FindWindowExA(FindWindowA(nullptr, window.c_str()), nullptr, nullptr, button.c_str());
    ASSERT_TRUE(hButton);
    std::string question;
    ASSERT_TRUE(testkit::PickAndAdd(run, hDlg, stem, hButton, question));
    EXPECT_EQ("押されるボタンは\"" + window + "\"ｳｨﾝﾄﾞの\r\n\"" + button + "\"ボタンで良いですか？", question);
    ASSERT_EQ(n, count());

    PostMessageA(GetDlgItem(hDlg, IDOK), BM_CLICK, 0, 0);
    HWND hBox = testkit::WaitBox(run.process.Id(), stem);
    ASSERT_TRUE(hBox);
    EXPECT_EQ("リストを保存できませんでした。\r\n設定ファイルに書き込めるか確かめてください。", testkit::BoxText(hBox));
    EXPECT_EQ(old, testkit::ReadFile(store));
    EXPECT_EQ(testkit::Strings(), testkit::SaveTempsOf(store));
    PostMessageA(hBox, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(testkit::WaitFor([&] { return !IsWindow(hBox); }));
    EXPECT_TRUE(IsWindowVisible(hDlg));
    EXPECT_EQ(n, count());

    ASSERT_TRUE(DeleteFileA(filler.c_str()));
    PostMessageA(GetDlgItem(hDlg, IDOK), BM_CLICK, 0, 0);
    ASSERT_TRUE(testkit::WaitFor([&] { return !IsWindow(hDlg); }));
    EXPECT_EQ(saved, testkit::ReadFile(store));
    EXPECT_EQ(testkit::Strings(), testkit::SaveTempsOf(store));
    EXPECT_TRUE(run.Close());
    DeleteFileA(store.c_str());
}
