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

static const struct {
    const char *name;
    void (*run)(const char *arg);
    const char *what;
} commands[] = {
    {"host", HostChecks, "Knapsel started in several ways: minimised, sized, painted, closed with exit code 0"},
    {"keys", KeyChecks, "every row of the keystroke table with Knapsel running"},
    {"library", LibraryChecks, "both filters installed and removed through a real LoadLibrary of knapfilt.dll"},
    {"random", RandomKeys, "2,000 random keystrokes with Knapsel running"},
    {"cycles", StartCloseCycles, "20 starts and closes of Knapsel, then the keys pass"},
    {"bystander", NotifyBystander, "(started by library) a second process that must get no command"},
    {"demo", Demo, "[PNG] shows in plain words what each key does; saves a screenshot"},
};

int main(int argc, char **argv)
{
    for (const auto &c : commands) {
        if (argc >= 2 && argc <= 3 && !strcmp(argv[1], c.name)) {
            c.run(argc == 3 ? argv[2] : NULL);
            if (strcmp(c.name, "demo"))
                printf("probe %s: %s\n", c.name, failures ? "FAILED" : "all passed");
            return failures ? 1 : 0;
        }
    }
    printf("usage: probe COMMAND [ARGUMENT]\n");
    for (const auto &c : commands)
        printf("  %-10s %s\n", c.name, c.what);
    return 2;
}
