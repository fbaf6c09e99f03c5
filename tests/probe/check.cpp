// The probe's way of reporting, of finding the files beside it, and of
// starting a second probe process.
#include "probe.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int failures;

static DWORD Slowdown()
{
    const char *times = getenv("KNAPSEL_SLOWDOWN");
    return times && atoi(times) > 1 ? atoi(times) : 1;
}
const DWORD PATIENCE_MS = 15000 * Slowdown();

// Asks the run command (wine.sh) for a file, with the line "VERB ARGS PATH",
// and waits until it is there. PATH is new each time: KNAPSEL_SCREENS, then
// the process, a count and `name`. Returns PATH, or "" where the run command
// offers no files (no KNAPSEL_SCREENS) or none came.
static std::string AskRunCommand(const char *verb, const std::string &args, const char *name)
{
    const char *prefix = getenv("KNAPSEL_SCREENS");
    static int n;
    fflush(stdout);
    if (!prefix)
        return "";
    char path[MAX_PATH];
    snprintf(path, sizeof path, "%s-%lu-%d-%s", prefix, GetCurrentProcessId(), ++n, name);
    printf("%s %s%s\n", verb, args.c_str(), path);
    fflush(stdout);
    return WaitFor([&] { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }) ? path : "";
}

void ShootScreen()
{
    char whole[64];
    snprintf(whole, sizeof whole, "0 0 %d %d ", GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    AskRunCommand("screenshot", whole, "screen.png");
}

bool Check(bool ok, const char *what)
{
    printf("%s: %s\n", ok ? "ok" : "FAILED", what);
    fflush(stdout);
    if (!ok) {
        failures++;
        ShootScreen();
    }
    return ok;
}

std::string BesideProbe(const char *name)
{
    char path[MAX_PATH];
    GetModuleFileNameA(NULL, path, sizeof path);
    strcpy(strrchr(path, '\\') + 1, name);
    return path;
}

bool StartProbe(const std::string &args, PROCESS_INFORMATION *pi)
{
    std::string exe = BesideProbe("probe.exe");
    std::string cmd = "\"" + exe + "\" " + args;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    return CreateProcessA(exe.c_str(), &cmd[0], NULL, NULL, FALSE, 0, NULL, NULL, &si, pi);
}

// Moves the pointer as a hand on a mouse does: the display's pointer moves,
// and Wine reads that motion as a mouse's. A move sent with SendInput makes
// Wine warp the display's pointer under a grab of its own for an instant,
// which can keep a window being dragged from grabbing the pointer, and Wine
// then reports the place before the warp as one more move: the window went
// back a step (see NOTES.md). Returns once the display has moved it.
bool MovePointer(POINT p)
{
    char args[32];
    snprintf(args, sizeof args, "%ld %ld ", (long)p.x, (long)p.y);
    std::string done = AskRunCommand("pointer", args, "moved");
    if (!done.empty())
        DeleteFileA(done.c_str());
    return !done.empty();
}

std::string PointerPicture()
{
    std::string path = AskRunCommand("cursor", "", "pointer.txt"), text;
    FILE *f = path.empty() ? NULL : fopen(path.c_str(), "r");
    for (int c; f && (c = fgetc(f)) != EOF;)
        text += (char)c;
    if (f)
        fclose(f);
    if (!path.empty())
        DeleteFileA(path.c_str());
    return text;
}
