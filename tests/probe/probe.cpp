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

static const struct {
    const char *name;
    void (*run)(const char *arg);
    const char *what;
    bool desktop;  // runs in Wine's virtual desktop
} commands[] = {
    {"host", HostChecks, "Knapsel started in several ways: its window's names, size and looks; exit code 0", true},
    {"keys", KeyChecks, "[KNAPSEL.EXE] every row of the keystroke table with Knapsel running", false},
    {"library", LibraryChecks, "both filters installed and removed through a real LoadLibrary of knapfilt.dll", false},
    {"random", RandomKeys, "2,000 random keystrokes with Knapsel running", false},
    {"cycles", StartCloseCycles, "[N] N starts and closes of Knapsel (20 unless given), then the keys pass", false},
    {"bystander", NotifyBystander, "(started by library) a second process that must get no command", false},
    {"desktop", DesktopChecks, "programs A and B and Knapsel: the focus follows every click", true},
    {"witness", Witness, "(started by desktop) program B, reporting its input to A's window HWND", false},
    {"demo", Demo, "[FOLDER] shows in plain words what each key does; asks for two screenshots", true},
};

int main(int argc, char **argv)
{
    for (const auto &c : commands) {
        if (argc >= 2 && argc <= 3 && !strcmp(argv[1], c.name)) {
            if (c.desktop && !InVirtualDesktop())
                return RunInVirtualDesktop();
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
