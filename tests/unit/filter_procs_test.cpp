// Both filter procedures driven keystroke by keystroke through the stand-in
// platform. Each scenario starts from a fresh process (flags clear) and lists
// keystrokes with the result and the exact platform calls each must produce.
#include <gtest/gtest.h>

#include "fake_platform.h"
#include "filters.h"

namespace {

// Keystroke words as the platform builds them: repeat count 1, scan code in
// bits 16-23, bit 30 on repeats and releases, bit 31 on releases.
LPARAM Press(DWORD scan) { return (LPARAM)(scan << 16 | 1); }
LPARAM Repeat(DWORD scan) { return (LPARAM)(0x40000000 | scan << 16 | 1); }
LPARAM Release(DWORD scan) { return (LPARAM)(0xC0000000 | scan << 16 | 1); }
const DWORD EXTENDED = 0x100;  // bit 24 once shifted into place

const HHOOK HOOK = 0x1001;
const HWND NOTIFY_WND = 0x77;
const WPARAM VK = 0xBEEF0041;  // high bits set: only the low word may pass on
const LRESULT NEXT = 0x7E57;   // what the next filter answers

const std::string LD = "mouse_event(0x2,0,0,0,0)";
const std::string LU = "mouse_event(0x4,0,0,0,0)";
const std::string RD = "mouse_event(0x8,0,0,0,0)";
const std::string RU = "mouse_event(0x10,0,0,0,0)";
const std::string POST = "PostMessageA(0x77,0x111,0x4d2,0)";

std::string Next(int code, LPARAM lParam)
{
    return CallText("CallNextHookEx", {HOOK, (DWORD)code, 0x41, (DWORD)lParam});
}

struct Key {
    int code;
    LPARAM lParam;
    LRESULT result;
    std::vector<std::string> calls;
};

struct Scenario {
    const char *name;
    std::vector<Key> keys;
    int leftDown, rightDown;  // flags afterwards
};

void RunScenarios(HOOKPROC proc, const std::vector<Scenario> &scenarios)
{
    for (const Scenario &s : scenarios) {
        ResetFakePlatform();
        fakeNextResult = NEXT;
        hFilterHook = HOOK;
        hNotifyWnd = NOTIFY_WND;
        fLeftDown = fRightDown = 0;
        for (size_t i = 0; i < s.keys.size(); i++) {
            const Key &k = s.keys[i];
            fakeCalls.clear();
            EXPECT_EQ(proc(k.code, VK, k.lParam), k.result) << s.name << ", key " << i;
            EXPECT_EQ(fakeCalls, k.calls) << s.name << ", key " << i;
        }
        EXPECT_EQ(fLeftDown, s.leftDown) << s.name;
        EXPECT_EQ(fRightDown, s.rightDown) << s.name;
    }
}

TEST(KeyToMouseProc, Scenarios)
{
    // clang-format off
    RunScenarios(KeyToMouseProc, {
        {"left key tapped", {{0, Press(0x62), -1, {LD}}, {0, Release(0x62), -1, {LU}}}, 0, 0},
        {"left key held: repeats do nothing, the button stays down",
         {{0, Press(0x62), -1, {LD}}, {0, Repeat(0x62), -1, {}}, {0, Repeat(0x62), -1, {}}}, 1, 0},
        {"left key released without a press still lets go", {{0, Release(0x62), -1, {LU}}}, 0, 0},
        // The press and release of one keystroke can reach two programs (a
        // click moves the focus), so the flag of this process may be stale:
        // the platform's own "already down" bit decides instead.
        {"a first press presses even when this process thinks the button is held",
         {{0, Press(0x62), -1, {LD}}, {0, Press(0x62), -1, {LD}}, {0, Press(0x65), -1, {RD}},
          {0, Press(0x65), -1, {RD}}},
         1, 1},
        {"a repeat does nothing even when this process never saw the press",
         {{0, Repeat(0x62), -1, {}}, {0, Repeat(0x65), -1, {}}, {0, Release(0x62), -1, {LU}},
          {0, Repeat(0x62), -1, {}}},
         0, 0},
        {"right key held and released",
         {{0, Press(0x65), -1, {RD}}, {0, Repeat(0x65), -1, {}}, {0, Release(0x65), -1, {RU}}}, 0, 0},
        {"right key released without a press", {{0, Release(0x65), -1, {RU}}}, 0, 0},
        {"both buttons held at once",
         {{0, Press(0x62), -1, {LD}}, {0, Press(0x65), -1, {RD}}, {0, Release(0x62), -1, {LU}}}, 0, 1},
        {"double-click key held: one double click, repeats and release do nothing",
         {{0, Press(0x67), -1, {LD, LU, LD, LU}}, {0, Repeat(0x67), -1, {}}, {0, Release(0x67), -1, {}}},
         0, 0},
        {"double click while the left key holds the button lets go first, and only once",
         {{0, Press(0x62), -1, {LD}},
          {0, Press(0x67), -1, {LU, LD, LU, LD, LU}},
          {0, Release(0x67), -1, {}},
          {0, Press(0x67), -1, {LD, LU, LD, LU}},
          {0, Release(0x67), -1, {}},
          {0, Release(0x62), -1, {LU}}},
         0, 0},
        {"double click leaves a held right button alone",
         {{0, Press(0x65), -1, {RD}}, {0, Press(0x67), -1, {LD, LU, LD, LU}}}, 0, 1},
        {"extended-key flag changes nothing",
         {{0, Press(0x62 | EXTENDED), -1, {LD}}, {0, Release(0x62 | EXTENDED), -1, {LU}},
          {0, Press(0x67 | EXTENDED), -1, {LD, LU, LD, LU}}},
         0, 0},
        {"HC_NOREMOVE acts like HC_ACTION",
         {{3, Press(0x62), -1, {LD}}, {3, Press(0x65), -1, {RD}}, {3, Release(0x62), -1, {LU}}}, 0, 1},
        {"negative codes pass even the filter keys on, and change nothing",
         {{-1, Press(0x62), NEXT, {Next(-1, Press(0x62))}},
          {-5, Press(0x67), NEXT, {Next(-5, Press(0x67))}},
          {-1, Release(0x65), NEXT, {Next(-1, Release(0x65))}},
          {0, Press(0x62), -1, {LD}},
          {-1, Release(0x62), NEXT, {Next(-1, Release(0x62))}}},
         1, 0},
        {"every other key passes on unchanged",
         {{0, Press(0x61), NEXT, {Next(0, Press(0x61))}},
          {0, Press(0x63), NEXT, {Next(0, Press(0x63))}},
          {0, Press(0x64), NEXT, {Next(0, Press(0x64))}},
          {3, Repeat(0x66), NEXT, {Next(3, Repeat(0x66))}},
          {0, Release(0x68), NEXT, {Next(0, Release(0x68))}},
          {0, Press(0x1E), NEXT, {Next(0, Press(0x1E))}},
          {0, Press(0xE2), NEXT, {Next(0, Press(0xE2))}},   // 0x62 in the low bits only
          {0, 0x00000062, NEXT, {Next(0, 0x00000062)}},     // 0x62 as a repeat count
          {0, Press(0x62 << 8), NEXT, {Next(0, Press(0x62 << 8))}}},  // 0x62 in bits 24-31
         0, 0},
    });
    // clang-format on
}

TEST(KeyNotifyProc, Scenarios)
{
    // clang-format off
    RunScenarios(KeyNotifyProc, {
        {"every press, repeat and release of the key posts one command",
         {{0, Press(0x64), 1, {POST}}, {0, Repeat(0x64), 1, {POST}}, {0, Release(0x64), 1, {POST}}}, 0, 0},
        {"extended flag and HC_NOREMOVE change nothing",
         {{0, Press(0x64 | EXTENDED), 1, {POST}}, {3, Release(0x64), 1, {POST}}}, 0, 0},
        {"negative codes pass the key on and post nothing",
         {{-1, Press(0x64), NEXT, {Next(-1, Press(0x64))}}}, 0, 0},
        {"every other key passes on, the mouse keys too",
         {{0, Press(0x62), NEXT, {Next(0, Press(0x62))}},
          {0, Release(0x63), NEXT, {Next(0, Release(0x63))}},
          {3, Press(0x65), NEXT, {Next(3, Press(0x65))}},
          {0, Press(0xE4), NEXT, {Next(0, Press(0xE4))}}},
         0, 0},
    });
    // clang-format on
}

// In any process but the installer's there is no window to tell: the key is
// still taken out of the input, and nothing is posted to window 0.
TEST(KeyNotifyProc, NoWindowPostsNothing)
{
    ResetFakePlatform();
    hFilterHook = HOOK;
    hNotifyWnd = 0;
    EXPECT_EQ(KeyNotifyProc(0, VK, Press(0x64)), 1);
    EXPECT_EQ(KeyNotifyProc(0, VK, Release(0x64)), 1);
    EXPECT_TRUE(fakeCalls.empty());
}

}  // namespace
