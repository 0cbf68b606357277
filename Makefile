# The two commands of the README:
#   make run   - build dimlet, dimlet-cli and dimlet-sim, then start Dimlet
#                against the bundled simulated unit line
#   make test  - build the programs and their tests, then run every test but
#                the long soak drills (`make drills` builds everything and
#                runs those; CI runs both)
# Both first install any missing Debian packages (scripts/install-deps).
#
# The Windows programs, cross-built here with mingw-w64 (cmake/mingw-w64.cmake):
#   make windows       - dimlet.exe, dimlet-cli.exe and dimlet-sim.exe with Qt's
#                        and the runtime's DLLs in build-windows/bin (and the
#                        installer's PATH helper, dimlet-user-path.exe); Qt for
#                        Windows is unpacked there from ../shared/toolchains
#                        (cmake/Windows.cmake)
#   make windows-test  - their test programs under wine, then dimlet-cli.exe
#                        against the Linux simulator through wine's COM1 and
#                        against dimlet-sim.exe --listen through tcp://, then
#                        the window under wine on a virtual X screen
#   make windows-bench - dimlet-cli.exe's write and verify of eight units
#                        under wine against its floor, beside Linux's
#   make windows-package - the portable zip and the installer, each checked
#                        under wine

BUILD ?= build
WINDOWS_BUILD ?= build-windows
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps configure build run test drills window-check report-check bench package screenshot clean \
	windows-configure windows windows-test windows-bench windows-package

all: build

deps:
	@scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD) -DDIMLET_WERROR=ON $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: configure
	cmake --build $(BUILD) -j $(JOBS) --target dimlet dimlet-cli dimlet-sim
	scripts/run-demo $(BUILD)

test: configure
	cmake --build $(BUILD) -j $(JOBS) --target test_programs
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) --label-exclude drill

drills: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) --label-regex drill

window-check: build
	scripts/window-check $(BUILD)

# The handover report of a simulated site, parsed, photographed and printed
# by headless Chromium; its pictures are left in $(BUILD)/report-check.
report-check: configure
	cmake --build $(BUILD) -j $(JOBS) --target dimlet-cli dimlet-sim
	scripts/report-check $(BUILD)

bench: build
	scripts/run-bench $(BUILD)

package: build
	scripts/check-package $(BUILD)

screenshot: build
	scripts/screenshot $(BUILD) docs/screenshot.png

windows-configure:
	@scripts/install-deps windows
	cmake -S . -B $(WINDOWS_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DDIMLET_WERROR=ON $(CMAKE_FLAGS)

windows: windows-configure
	cmake --build $(WINDOWS_BUILD) -j $(JOBS) --target dimlet-cli dimlet-sim dimlet dimlet-user-path

windows-test: windows-configure configure
	cmake --build $(WINDOWS_BUILD) -j $(JOBS) --target test_programs
	cmake --build $(BUILD) -j $(JOBS) --target dimlet-sim dimlet
	scripts/windows-test $(WINDOWS_BUILD) $(BUILD)/sim/dimlet-sim
	scripts/windows-window $(WINDOWS_BUILD) $(BUILD)

windows-package: windows
	scripts/windows-package $(WINDOWS_BUILD)

windows-bench: windows configure
	cmake --build $(BUILD) -j $(JOBS) --target dimlet-cli dimlet-sim
	scripts/windows-bench $(WINDOWS_BUILD) $(BUILD)

clean:
	rm -rf $(BUILD) $(WINDOWS_BUILD)
