// The probe's way of reporting, of finding the files beside it, and of
// starting a second probe process.
#include "probe.h"

#include <stdio.h>
#include <string.h>

int failures;

bool Check(bool ok, const char *what)
{
    printf("%s: %s\n", ok ? "ok" : "FAILED", what);
    fflush(stdout);
    if (!ok)
        failures++;
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
