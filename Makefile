# Tavi: `make run` scores the bundled sample essays, `make test` runs every test.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: deps configure build run test asan clean

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@$(BUILD)/bin/tavi-score -q data/samples/question.txt data/samples/answers

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The whole test suite under AddressSanitizer and UndefinedBehaviorSanitizer.
asan: export LSAN_OPTIONS = suppressions=$(CURDIR)/tests/sanitizers/lsan.supp
asan: deps
	@cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTAVI_SANITIZE=address,undefined >/dev/null
	@cmake --build build-asan -j $(JOBS)
	@cd build-asan && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD) build-asan

# The HTML report of the sample essays rendered by headless Chromium into docs/report.png.
.PHONY: report-screenshot
report-screenshot: configure
	@BUILD=$(BUILD) scripts/report-screenshot.sh

# Pictures of the desktop program's windows for the documentation (docs/tavi-*.png), taken
# under a virtual display with a Japanese font while it scores the sample essays.
.PHONY: screenshots
screenshots: configure
	@cmake --build $(BUILD) -j $(JOBS) --target tavi-screenshots
	@xvfb-run -a -s "-screen 0 1280x1024x24" $(BUILD)/bin/tavi-screenshots docs
