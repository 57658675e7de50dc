# The two commands a newcomer needs on a fresh Debian 12 machine (as root):
#   make run    build and run the station on simulated boards
#   make test   build with warnings as errors and run every test, also under sanitizers
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
PACKAGES := cmake g++ make libgtest-dev libgmock-dev
WINDOWS_PACKAGES := g++-mingw-w64-x86-64 wine wine64 xvfb xauth imagemagick fonts-wqy-zenhei googletest
# Wine keeps its own registry and C: drive here, apart from the user's.
export WINEPREFIX := $(CURDIR)/build/wineprefix
export WINEDEBUG := -all
HOME_DIR := build/home
KORVEX := build/dev/korvex

.PHONY: run test tsan deps windows-deps windows-test build clean

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

# The Windows station cross-compiled with MinGW-w64, its test programs run under Wine
# on a virtual X server.
windows-test: windows-deps
	cmake --preset mingw >/dev/null
	cmake --build --preset mingw -j $(JOBS)
	xvfb-run -a -s "-screen 0 1280x1024x24" ctest --preset mingw

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

test: build
	ctest --preset dev -j $(JOBS)
	cmake --preset asan >/dev/null
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan -j $(JOBS)

tsan: deps
	cmake --preset tsan >/dev/null
	cmake --build --preset tsan -j $(JOBS)
	ctest --preset tsan -j $(JOBS)

clean:
	rm -rf build
