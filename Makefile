# Tavi: `make run` scores the bundled sample essays, `make test` runs every test.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: deps configure build package run serve test web asan tsan fuzz clean

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# The Debian package build/tavi_<version>_<arch>.deb (CPack), with the browser build when the
# ChaSen source tarball is found.
package: build
	@cmake --build $(BUILD) --target package_web
	@cmake --build $(BUILD) --target package

run: build
	@$(BUILD)/bin/tavi-score -q data/samples/question.txt data/samples/answers

# The web server on ./tavi-data at http://127.0.0.1:8080 (an "admin" account is created and its
# password printed when the folder has no user yet).
serve: build
	@$(BUILD)/bin/tavi-serve --data tavi-data

test: package
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The browser build (emscripten, installed on first use) in $(BUILD)/web, from the ChaSen source
# tarball (-DTAVI_CHASEN_SOURCE; by default ../shared/third_party/chasen/). `make test` builds and
# tests it too when the tarball is found.
web: configure
	@cmake --build $(BUILD) --target web

# The whole test suite under AddressSanitizer and UndefinedBehaviorSanitizer.
asan: export LSAN_OPTIONS = suppressions=$(CURDIR)/tests/sanitizers/lsan.supp
asan: build
	@cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTAVI_SANITIZE=address,undefined \
		-DTAVI_PREBUILT_MODELS=$(CURDIR)/$(BUILD)/bin >/dev/null
	@cmake --build build-asan -j $(JOBS)
	@cd build-asan && ctest --output-on-failure -j $(JOBS)

# The document's and the desktop program's tests, where the worker thread meets the user-interface
# thread, under ThreadSanitizer (Qt itself is not instrumented: see tests/sanitizers/tsan.supp).
tsan: build
	@cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTAVI_SANITIZE=thread \
		-DTAVI_PREBUILT_MODELS=$(CURDIR)/$(BUILD)/bin >/dev/null
	@cmake --build build-tsan -j $(JOBS) --target test_document test_ui tavi_models
	@cd build-tsan && ctest --output-on-failure -j $(JOBS) -L '^(document|ui)$$'

# libFuzzer targets built with clang, each run for FUZZ_SECONDS (default 600); findings are
# kept in tests/data/fuzz/ and replayed by the regular tests.
fuzz: build
	@scripts/install-deps.sh --fuzz
	@CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVI_FUZZ=ON >/dev/null
	@cmake --build build-fuzz -j $(JOBS)
	@scripts/fuzz.sh

clean:
	rm -rf $(BUILD) build-asan build-tsan

# The HTML report of the sample essays rendered by headless Chromium into docs/report.png.
.PHONY: report-screenshot
report-screenshot: configure
	@BUILD=$(BUILD) scripts/report-screenshot.sh

# Pictures of the web server's pages (docs/tavi-serve-*.png: the job page, an answer's
# evidence, the comment counts, a feedback sheet and the job page at a phone's width), taken
# by the browser test.
.PHONY: serve-screenshots
serve-screenshots: build
	@/usr/bin/python3 tests/browser/browser_test.py $(BUILD)/bin data/samples docs

# Pictures of the desktop program's windows for the documentation (docs/tavi-*.png), taken
# under a virtual display with a Japanese font while it scores the sample essays.
.PHONY: screenshots
screenshots: configure report-screenshot
	@cmake --build $(BUILD) -j $(JOBS) --target tavi-screenshots
	@xvfb-run -a -s "-screen 0 1280x1024x24" $(BUILD)/bin/tavi-screenshots docs
