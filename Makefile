# The two commands a newcomer needs on a fresh Debian 12 machine (as root):
#   make run    build and run the station on simulated boards
#   make test   build with warnings as errors and run every test, also under sanitizers,
#               then the Windows station's tests under Wine and its screenshot
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
# postgresql, unixodbc-dev and odbc-postgresql: the records tests run a PostgreSQL
# server of their own and reach it through ODBC; chromium renders the HTML report;
# python3-jsonschema validates the console's JSON stream against its schema.
PACKAGES := cmake g++ make libgtest-dev libgmock-dev postgresql unixodbc-dev odbc-postgresql chromium python3-jsonschema
WINDOWS_PACKAGES := g++-mingw-w64-x86-64 wine wine64 xvfb xauth imagemagick fonts-wqy-zenhei googletest zip
# Wine keeps its own registry and C: drive here, apart from the user's.
export WINEPREFIX := $(CURDIR)/build/wineprefix
export WINEDEBUG := -all
HOME_DIR := build/home
KORVEX := build/dev/korvex

.PHONY: run test tsan deps windows-deps windows-test wine-settings screenshot package build clean

deps:
	@missing=""; \
	for p in $(PACKAGES); do dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	  echo "installing:$$missing"; \
	  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing; \
	fi

windows-deps:
	@missing=""; \
	for p in $(WINDOWS_PACKAGES); do dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	  echo "installing:$$missing"; \
	  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing; \
	fi

# Wine's prefix is created once, before anything runs under Wine (the build runs a
# generator there too): a first start takes many seconds that no test's time limit
# should pay for. The Mono and Gecko installers are skipped; nothing here needs them.
# wineserver -w lets the new prefix settle before the first real program starts.
$(WINEPREFIX)/system.reg: | windows-deps
	mkdir -p $(dir $(WINEPREFIX))
	WINEDLLOVERRIDES="mscoree,mshtml=" wine wineboot -i >/dev/null 2>&1 || true
	wineserver -w || true
	@test -f $@ || { echo "wine could not create its prefix in $(WINEPREFIX)" >&2; exit 1; }

# The Windows station cross-compiled with MinGW-w64, its test programs run under Wine
# on a virtual X server.
# Once in a clean CI run, every Wine window failed to open (CreateWindowEx gave NULL
# within a second of start, a Wine or X start-up fault we could not reproduce): tests
# that fail get one more run on a fresh Wine server and X display, and fail for good
# if they fail again.
windows-test: windows-deps $(WINEPREFIX)/system.reg wine-settings
	cmake --preset mingw >/dev/null
	cmake --build --preset mingw -j $(JOBS)
	xvfb-run -a -s "-screen 0 1280x1024x24" ctest --preset mingw || { \
	  echo "windows-test: the failed Wine tests once more, on a fresh Wine server and X display" >&2; \
	  wineserver -k || true; wineserver -w || true; \
	  xvfb-run -a -s "-screen 0 1280x1024x24" ctest --preset mingw --rerun-failed --output-on-failure; }

# Wine on a virtual X server: the dialogs' font "宋体" (also named SimSun) is
# WenQuanYi Zen Hei here, and windows are unmanaged: no window manager runs, and Wine
# would wait two seconds for one whenever a window closes. No debugger is attached to
# a program that crashes.
wine-settings: $(WINEPREFIX)/system.reg
	@for face in 宋体 SimSun; do \
	  LANG=C.UTF-8 wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$$face" /t REG_SZ \
	    /d 'WenQuanYi Zen Hei' /f >/dev/null 2>&1 || exit 1; \
	done
	@wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
	@# A program that crashes ends at once instead of waiting in winedbg until ctest's timeout.
	@wine reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f >/dev/null 2>&1 || true
	@wineserver -w

# The main window half-way through burning eight simulated boards at the simulator's
# modelled speed, as build/screenshot-8-boards.png. korvex_screenshot.exe (a program,
# not a test: win32/tools/screenshot.cpp) writes "ready" into SHOT_DIR and holds the
# window still until "taken" appears there while the screen is photographed; Wine's own
# desktop draws the window's title bar.
SHOT_DIR := build/screenshot
SCREENSHOT := build/screenshot-8-boards.png
SCREENSHOT_EXE := build/mingw/win32/korvex_screenshot.exe
screenshot: windows-deps wine-settings
	cmake --preset mingw >/dev/null
	cmake --build --preset mingw -j $(JOBS) --target korvex_screenshot
	@rm -rf $(SHOT_DIR) $(SCREENSHOT) && mkdir -p $(SHOT_DIR)
	xvfb-run -a -s "-screen 0 1280x1024x24" sh -c '\
	  wine explorer /desktop=Korvex,1280x1024 $(SCREENSHOT_EXE) "$$(winepath -w $(CURDIR)/$(SHOT_DIR))" & \
	  for i in $$(seq 600); do [ -f $(SHOT_DIR)/ready ] && break; sleep 0.1; done; \
	  [ -f $(SHOT_DIR)/ready ] && import -window root $(SCREENSHOT); \
	  touch $(SHOT_DIR)/taken; wait'
	@test -s $(SCREENSHOT) && echo "screenshot: $(SCREENSHOT)"

# The operator's package, build/korvex-package.zip: korvex.exe, korvex-cli.exe, the four model
# folders with sample Korvex2K.cfg/Korvex4K.cfg only (taken from the simulator's home)
# and the operator's README. It must never carry firmware: fw.bin and korvex.bin come
# from the board vendor, and the simulator's placeholders would brick real boards.
PACKAGE_ZIP := build/korvex-package.zip
PACKAGE_STAGE := build/package
STATION_EXE := build/mingw/win32/korvex.exe
CONSOLE_EXE := build/mingw/korvex-cli.exe
MODEL_FOLDERS := 7120 7130 7135 7105B

package: build windows-deps $(WINEPREFIX)/system.reg
	cmake --preset mingw >/dev/null
	cmake --build --preset mingw -j $(JOBS)
	@test -f $(STATION_EXE) || { echo "package: $(STATION_EXE) is missing: the Windows station (target korvex in win32/) has not been built" >&2; exit 1; }
	@test -f $(CONSOLE_EXE) || { echo "package: $(CONSOLE_EXE) is missing: the console station (target korvex-cli) has not been built" >&2; exit 1; }
	rm -rf $(PACKAGE_STAGE) $(PACKAGE_ZIP)
	mkdir -p $(PACKAGE_STAGE)/sim-home $(PACKAGE_STAGE)/korvex
	$(KORVEX) --home $(PACKAGE_STAGE)/sim-home sim-home >/dev/null
	for model in $(MODEL_FOLDERS); do \
	  mkdir -p $(PACKAGE_STAGE)/korvex/$$model && \
	  cp $(PACKAGE_STAGE)/sim-home/$$model/Korvex2K.cfg $(PACKAGE_STAGE)/sim-home/$$model/Korvex4K.cfg \
	     $(PACKAGE_STAGE)/korvex/$$model/ || exit 1; \
	done
	cp $(STATION_EXE) $(PACKAGE_STAGE)/korvex/korvex.exe
	cp $(CONSOLE_EXE) $(PACKAGE_STAGE)/korvex/korvex-cli.exe
	sed 's/$$/\r/' packaging/README-operator.md > $(PACKAGE_STAGE)/korvex/README.txt
	@if find $(PACKAGE_STAGE)/korvex -iname '*.bin' | grep .; then \
	  echo "package: refusing to ship the .bin files above" >&2; exit 1; fi
	cd $(PACKAGE_STAGE) && zip -q -r -X ../korvex-package.zip korvex
	@zip -sf $(PACKAGE_ZIP)

build: deps
	cmake --preset dev >/dev/null
	cmake --build --preset dev -j $(JOBS)

# A fresh simulated line each time: model folders, sample images, four boards.
run: build
	@rm -rf $(HOME_DIR) && mkdir -p $(HOME_DIR)
	$(KORVEX) --home $(HOME_DIR) sim-home
	$(KORVEX) --home $(HOME_DIR) station --sim 4 --nand $(HOME_DIR)/images/nand.bin --until-done
	@echo "--- production log ---"
	@cat $(HOME_DIR)/*log.txt

# ThreadSanitizer in `make test`, on the tests where many threads meet: the station's
# multi-board runs (the console they start is built with the sanitizer too, so a race
# there fails its run) and its close mid-burn, READ after a burn in the test's own
# process, the scan with its workers and their shared record keeper, hooks on a
# worker, the fault matrix, and the log's parallel writers.
TSAN_TESTS := ^StationTest\.(EveryModel|Readback|ClosingMidBurn)|^ProductionLog\.EightWriters|^DemoCopy\.TicksOverlapping|^PortBurn\.AJobRefuses|^FaultMatrix\.|^RecordsUnwritten\.A|^PortSchedulerTest\.

test: build
	ctest --preset dev -j $(JOBS)
	cmake --preset asan >/dev/null
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan -j $(JOBS)
	cmake --preset tsan >/dev/null
	cmake --build --preset tsan -j $(JOBS) --target korvex_tests korvex
	ctest --preset tsan -j $(JOBS) -R '$(TSAN_TESTS)'
	$(MAKE) windows-test
	$(MAKE) screenshot

tsan: deps
	cmake --preset tsan >/dev/null
	cmake --build --preset tsan -j $(JOBS)
	ctest --preset tsan -j $(JOBS)

clean:
	rm -rf build
