// InstallFilter and DllMain against the stand-in platform, which keeps the
// hooks really installed, so a filter the library forgot still shows there.
#include <gtest/gtest.h>

#include "fake_platform.h"
#include "filters.h"
#include "knapfilt.h"

#include <climits>

namespace {

const HINSTANCE MODULE = 0x10000000;
const HWND EARLIER_WND = 0x55, WND = 0x77;
const std::string SET = "SetWindowsHookExA(0x2,0x10000000,0)";

struct Step {
    int mode;
    bool refuse;
    HHOOK result;
};

struct Case {
    const char *name;
    std::vector<Step> steps;
    std::vector<std::string> calls;
    std::map<HHOOK, HOOKPROC> installed;  // what the platform holds afterwards
    HHOOK hook;
    HWND notify;
};

void FreshProcess()
{
    ResetFakePlatform();
    hFilterModule = 0;
    hFilterHook = 0;
    hNotifyWnd = EARLIER_WND;
    fLeftDown = fRightDown = 0;
    DllMain(MODULE, DLL_PROCESS_ATTACH, nullptr);
}

TEST(InstallFilter, Cases)
{
    const HOOKPROC MOUSE = KeyToMouseProc, NOTIFY = KeyNotifyProc;
    // clang-format off
    const std::vector<Case> cases = {
        {"emulate: installed, window ignored", {{2, false, 0x1001}}, {SET}, {{0x1001, MOUSE}}, 0x1001, EARLIER_WND},
        {"notify: window stored, installed", {{1, false, 0x1001}}, {SET}, {{0x1001, NOTIFY}}, 0x1001, WND},
        {"notify refused: window stored all the same", {{1, true, 0}}, {SET}, {}, 0, WND},
        {"emulate refused", {{2, true, 0}}, {SET}, {}, 0, EARLIER_WND},
        {"mode 0 removes", {{2, false, 0x1001}, {0, false, 0}},
         {SET, "UnhookWindowsHookEx(0x1001)"}, {}, 0, EARLIER_WND},
        {"modes 3, -1, INT_MIN and INT_MAX remove too",
         {{2, false, 0x1001}, {3, false, 0}, {1, false, 0x1002}, {-1, false, 0},
          {2, false, 0x1003}, {INT_MIN, false, 0}, {2, false, 0x1004}, {INT_MAX, false, 0}},
         {SET, "UnhookWindowsHookEx(0x1001)", SET, "UnhookWindowsHookEx(0x1002)", SET,
          "UnhookWindowsHookEx(0x1003)", SET, "UnhookWindowsHookEx(0x1004)"},
         {}, 0, WND},
        {"removing with nothing installed asks to remove handle 0", {{0, false, 0}},
         {"UnhookWindowsHookEx(0)"}, {}, 0, EARLIER_WND},
        {"a second installation replaces the first instead of losing it",
         {{2, false, 0x1001}, {1, false, 0x1002}},
         {SET, "UnhookWindowsHookEx(0x1001)", SET}, {{0x1002, NOTIFY}}, 0x1002, WND},
        {"a refused reinstallation leaves no filter behind",
         {{2, false, 0x1001}, {2, true, 0}, {0, false, 0}},
         {SET, "UnhookWindowsHookEx(0x1001)", SET, "UnhookWindowsHookEx(0)"}, {}, 0, EARLIER_WND},
    };
    // clang-format on
    for (const Case &c : cases) {
        FreshProcess();
        for (const Step &s : c.steps) {
            fakeRefuseHooks = s.refuse;
            EXPECT_EQ(InstallFilter(WND, s.mode), s.result) << c.name << ", mode " << s.mode;
        }
        EXPECT_EQ(fakeCalls, c.calls) << c.name;
        EXPECT_EQ(fakeHooks, c.installed) << c.name;
        EXPECT_EQ(hFilterHook, c.hook) << c.name;
        EXPECT_EQ(hNotifyWnd, c.notify) << c.name;
    }
}

// A button held through the left key stays known as held while the filter is
// removed and put back: its later release must still be the one that lets go.
TEST(InstallFilter, ButtonFlagsSurviveReinstallation)
{
    FreshProcess();
    fLeftDown = 1;
    fRightDown = 1;
    InstallFilter(WND, FILTER_EMULATE);
    InstallFilter(WND, FILTER_REMOVE);
    InstallFilter(WND, FILTER_NOTIFY);
    InstallFilter(WND, FILTER_EMULATE);
    EXPECT_EQ(fLeftDown, 1);
    EXPECT_EQ(fRightDown, 1);
}

TEST(DllMain, RemembersModuleOnAttachOnly)
{
    struct Row {
        DWORD reason;
        HINSTANCE module;  // hFilterModule afterwards, starting from 0x10000000
    } rows[] = {
        {DLL_PROCESS_ATTACH, 0x20000000},
        {DLL_THREAD_ATTACH, 0x20000000},
        {DLL_THREAD_DETACH, MODULE},
        {DLL_PROCESS_DETACH, MODULE},
    };
    for (const Row &r : rows) {
        FreshProcess();
        hFilterHook = 0x1001;
        EXPECT_EQ(DllMain(0x20000000, r.reason, nullptr), TRUE) << "reason " << r.reason;
        EXPECT_EQ(hFilterModule, r.module) << "reason " << r.reason;
        EXPECT_TRUE(fakeCalls.empty()) << "reason " << r.reason << ": a detach must not remove the filter";
    }
}

}  // namespace
