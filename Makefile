# The two everyday commands: `make run` and `make test`. Both install what is missing first.
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

HEADLESS_ENV = QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1 \
	QT_LOGGING_RULES="qt.webenginecontext.info=false"

.PHONY: all deps test-deps configure build run test bench screenshot demo demo-screenshots format format-check clean fuzz \
	fuzz-build

# The fuzz targets of fuzz/: a clang build of their own (libFuzzer, ASan, UBSan). `make fuzz` runs
# each for FUZZ_SECONDS; `make test` runs each over its seed corpus and then for FUZZ_CHECK_SECONDS.
FUZZ_BUILD_DIR ?= build-fuzz
FUZZ_CXX ?= clang++-14
FUZZ_CMAKE_FLAGS ?= $(CMAKE_FLAGS)
FUZZ_SECONDS ?= 60
FUZZ_CHECK_SECONDS ?= 5

all: build

deps:
	@bash scripts/install-deps.sh

test-deps:
	@bash scripts/install-deps.sh --test

$(BUILD_DIR)/CMakeCache.txt:
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS)

configure: deps $(BUILD_DIR)/CMakeCache.txt

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	bash scripts/start-quillet.sh $(BUILD_DIR)/bin/quillet

test: test-deps build fuzz-build
	cd $(BUILD_DIR) && $(HEADLESS_ENV) ctest --output-on-failure -j $(JOBS)
	bash scripts/run-fuzz.sh $(FUZZ_BUILD_DIR) check $(FUZZ_CHECK_SECONDS)

$(FUZZ_BUILD_DIR)/CMakeCache.txt:
	cmake -S fuzz -B $(FUZZ_BUILD_DIR) -DCMAKE_CXX_COMPILER=$(FUZZ_CXX) $(FUZZ_CMAKE_FLAGS)

fuzz-build: deps $(FUZZ_BUILD_DIR)/CMakeCache.txt
	cmake --build $(FUZZ_BUILD_DIR) -j $(JOBS)

fuzz: fuzz-build
	bash scripts/run-fuzz.sh $(FUZZ_BUILD_DIR) explore $(FUZZ_SECONDS)

bench: build
	@$(HEADLESS_ENV) bash scripts/run-benchmarks.sh $(BUILD_DIR)

screenshot: build
	$(HEADLESS_ENV) $(BUILD_DIR)/bin/quillet-screenshot docs/screenshot.png

# The demo branded copy of examples/demo-brand, sealed and laid out in build/demo/, then started.
demo: build
	bash scripts/make-demo.sh $(BUILD_DIR)

# Screenshots of the demo copy's welcome page and branded main page for the README.
demo-screenshots: build
	bash scripts/make-demo.sh $(BUILD_DIR) --no-start
	$(HEADLESS_ENV) $(BUILD_DIR)/bin/quillet-demo-screenshot $(BUILD_DIR)/demo docs/demo-welcome.png docs/demo-main.png

# Every C++ file of ours, for clang-format (the repository's .clang-format). CI runs format-check.
SOURCES_TO_FORMAT = find src tests tools bench fuzz \( -name '*.cpp' -o -name '*.h' \) -print0

format:
	$(SOURCES_TO_FORMAT) | xargs -0 clang-format -i

format-check: deps
	$(SOURCES_TO_FORMAT) | xargs -0 clang-format --dry-run --Werror

clean:
	rm -rf $(BUILD_DIR) $(FUZZ_BUILD_DIR)

# The reference news service in the foreground (examples/news-service/README.md).
NEWS_PORT ?= 8080
.PHONY: news-service
news-service:
	php -S 127.0.0.1:$(NEWS_PORT) -t examples/news-service
