# make run    install what is missing, build, and start Knapsel under Wine
# make test   install what is missing, build, and run every test
# make dist   the release archive for Windows users, and SHA256SUMS beside it
# make pictures  the demonstration's two screenshots, into docs/
# make bench  print the figures: filter cost, latency under Wine, sizes
# make        build both trees (the Windows deliverables and the native tests)
# make deps   install the Debian packages the build and tests need (as root)
BUILD  := build
WIN32  := $(BUILD)/win32
NATIVE := $(BUILD)/native
# Absolute paths are quoted wherever they reach the shell: the checkout may
# sit in a folder such as "My Projects" (make's own path functions split there).
PREFIX := $(CURDIR)/$(BUILD)/wineprefix

.PHONY: all deps win32 native run pictures test dist bench clean

all: win32 native

deps:
	@scripts/deps.sh

# The two trees are described once, in CMakePresets.json.
$(WIN32)/CMakeCache.txt:
	cmake --preset win32

$(NATIVE)/CMakeCache.txt:
	cmake --preset native

win32: $(WIN32)/CMakeCache.txt
	cmake --build --preset win32

native: $(NATIVE)/CMakeCache.txt
	cmake --build --preset native

run: deps
	$(MAKE) win32
	scripts/run.sh $(WIN32) "$(PREFIX)"

pictures: deps
	$(MAKE) win32
	env -u DISPLAY scripts/run.sh $(WIN32) "$(PREFIX)" docs

dist: win32
	cmake --build --preset dist

bench: deps
	$(MAKE) all
	/usr/bin/python3 bench/bench.py $(NATIVE) $(WIN32) "$(PREFIX)"

test: deps
	$(MAKE) all
	ctest --preset native

clean:
	rm -rf $(BUILD)
