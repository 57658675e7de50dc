# The two commands a newcomer needs on a fresh Debian 12 machine (as root):
#   make run    build and run the station on simulated boards
#   make test   build with warnings as errors and run every test, also under sanitizers
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
PACKAGES := cmake g++ make libgtest-dev libgmock-dev
HOME_DIR := build/home
KORVEX := build/dev/korvex

.PHONY: run test tsan deps build clean

deps:
	@missing=""; \
	for p in $(PACKAGES); do dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	  echo "installing:$$missing"; \
	  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing; \
	fi

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
