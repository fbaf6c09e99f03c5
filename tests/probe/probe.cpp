// The probe: a Windows test program run under Wine that drives the real
// binaries from outside, as a user would, and says what it saw. Each command
// prints one line per check and exits 0 only if every check passed.
#include "probe.h"

#include <stdio.h>
#include <string.h>

void HostChecks(const char *);
void KeyChecks(const char *);
void LibraryChecks(const char *);
void NotifyBystander(const char *);
void RandomKeys(const char *);
void StartCloseCycles(const char *);
void Demo(const char *screenshot);
void DesktopChecks(const char *);
void Witness(const char *reportTo);

// Where a command runs: the desktop it was started on, Wine's virtual
// desktop, or (a helper another command starts) one already made ready.
enum Desktop { OWN, VIRTUAL, READY };

static const struct {
    const char *name;
    void (*run)(const char *arg);
    const char *what;
    Desktop desktop;
} commands[] = {
    {"host", HostChecks, "Knapsel started in several ways: its window's names, size and looks; exit code 0", VIRTUAL},
    {"keys", KeyChecks, "[KNAPSEL.EXE] every row of the keystroke table with Knapsel running", OWN},
    {"library", LibraryChecks, "both filters installed and removed through a real LoadLibrary of knapfilt.dll", OWN},
    {"random", RandomKeys, "2,000 random keystrokes with Knapsel running", OWN},
    {"cycles", StartCloseCycles, "[N] N starts and closes of Knapsel (20 unless given), then the keys pass", OWN},
    {"bystander", NotifyBystander, "(started by library) a second process that must get no command", READY},
    {"desktop", DesktopChecks, "programs A and B and Knapsel: the focus follows every click", VIRTUAL},
    {"witness", Witness, "(started by desktop) program B, reporting its input to A's window HWND", READY},
    {"demo", Demo, "[FOLDER] shows in plain words what each key does; asks for two screenshots", VIRTUAL},
};

int main(int argc, char **argv)
{
    for (const auto &c : commands) {
        if (argc >= 2 && argc <= 3 && !strcmp(argv[1], c.name)) {
            if (c.desktop == VIRTUAL && !InVirtualDesktop())
                return RunInVirtualDesktop();
            if (c.desktop == OWN && !StartDesktopManager(NULL))
                return 1;
            c.run(argc == 3 ? argv[2] : NULL);
            if (strcmp(c.name, "demo") && strcmp(c.name, "witness"))
                printf("probe %s: %s\n", c.name, failures ? "FAILED" : "all passed");
            return failures ? 1 : 0;
        }
    }
    printf("usage: probe COMMAND [ARGUMENT]\n");
    for (const auto &c : commands)
        printf("  %-10s %s\n", c.name, c.what);
    return 2;
}
