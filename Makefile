# make run    install what is missing, build, and start Knapsel under Wine
# make test   install what is missing, build, and run every test
# make dist   the release archive for Windows users, and SHA256SUMS beside it
# make pictures  the demonstration's two screenshots, into docs/
# make bench  print the figures: filter cost, latency under Wine, sizes
# make        build the three trees (the Windows deliverables, the same for x86-64, the native tests)
# make deps   install the Debian packages the build and tests need (as root)
BUILD  := build
WIN32  := $(BUILD)/win32
WIN64  := $(BUILD)/win64
NATIVE := $(BUILD)/native
# Absolute paths are quoted wherever they reach the shell: the checkout may
# sit in a folder such as "My Projects" (make's own path functions split there).
# The Wine prefixes are this with 32 or 64 appended.
PREFIX := $(CURDIR)/$(BUILD)/wine/run

# run, pictures and bench run the release's 32-bit build under Wine, or on a
# host that cannot start 32-bit Windows programs the x86-64 build in a 64-bit
# prefix: wine-arch.sh says which, and why in one line. The recipe goes on
# with $$tree and $$prefix set and WINEARCH exported.
ON_WINE = export WINEARCH=$$(scripts/wine-arch.sh) && $(MAKE) --no-print-directory $$WINEARCH && \
	tree=$(BUILD)/$$WINEARCH prefix="$(PREFIX)$${WINEARCH\#win}" &&

.PHONY: all deps win32 win64 native run pictures test dist bench clean

all: win32 win64 native

deps:
	@setup/deps.sh

# The trees are described once, in CMakePresets.json.
$(WIN32)/CMakeCache.txt:
	cmake --preset win32

$(WIN64)/CMakeCache.txt:
	cmake --preset win64

win32: $(WIN32)/CMakeCache.txt
	cmake --build --preset win32

win64: $(WIN64)/CMakeCache.txt
	cmake --build --preset win64

# Configured every time: it asks then which Windows programs Wine can start.
native:
	cmake --preset native >/dev/null
	cmake --build --preset native

run: deps
	@$(ON_WINE) scripts/run.sh $$tree "$$prefix"

pictures: deps
	@$(ON_WINE) env -u DISPLAY scripts/run.sh $$tree "$$prefix" docs

dist: win32
	cmake --build --preset dist

bench: deps
	$(MAKE) win32 native
	@$(ON_WINE) /usr/bin/python3 bench/bench.py $(NATIVE) $(WIN32) $$tree "$$prefix"

# Descriptor 3 shows the emulated machine's progress as it comes
# (scripts/emulated/win32.sh).
test: deps
	$(MAKE) all
	KNAPSEL_PROGRESS_FD=3 ctest --preset native 3>&1

clean:
	rm -rf $(BUILD)
