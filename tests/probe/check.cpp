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

void ShootScreen()
{
    const char *prefix = getenv("KNAPSEL_SCREENS");
    static int n;
    fflush(stdout);
    if (!prefix)
        return;
    char path[MAX_PATH];
    snprintf(path, sizeof path, "%s-%lu-%d.png", prefix, GetCurrentProcessId(), ++n);
    printf("screenshot 0 0 %d %d %s\n", GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), path);
    fflush(stdout);
    WaitFor([&] { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; });
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

std::string PointerPicture()
{
    const char *prefix = getenv("KNAPSEL_SCREENS");
    static int n;
    char path[MAX_PATH];
    std::string text;
    if (!prefix)
        return text;
    snprintf(path, sizeof path, "%s-pointer-%lu-%d.txt", prefix, GetCurrentProcessId(), ++n);
    printf("cursor %s\n", path);
    fflush(stdout);
    if (!WaitFor([&] { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }))
        return text;
    FILE *f = fopen(path, "r");
    for (int c; f && (c = fgetc(f)) != EOF;)
        text += (char)c;
    if (f)
        fclose(f);
    DeleteFileA(path);
    return text;
}
