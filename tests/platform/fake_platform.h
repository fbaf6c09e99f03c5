// The recording side of the stand-in platform: what the library asked of it,
// and what it should answer. Tests reset it, drive the library, then compare.
#ifndef FAKE_PLATFORM_H
#define FAKE_PLATFORM_H

#include <windows.h>
#include <map>
#include <string>
#include <vector>

// Every platform call in order, written as "name(arg,arg,...)" with numbers
// in hex, e.g. "mouse_event(0x2,0x0,0x0,0x0,0x0)".
extern std::vector<std::string> fakeCalls;
std::string CallText(const char *name, std::initializer_list<unsigned long> args);

extern LRESULT fakeNextResult;  // what CallNextHookEx answers
extern bool fakeRefuseHooks;    // SetWindowsHookExA refuses (returns 0)

// The keyboard filters the platform has installed, by handle, as a real
// hook chain would hold them; handles are never reused.
extern std::map<HHOOK, HOOKPROC> fakeHooks;

void ResetFakePlatform();

#endif
