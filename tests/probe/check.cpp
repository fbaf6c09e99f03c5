// The probe's way of reporting, and of finding the files beside it.
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
