# The two everyday commands: `make run` and `make test`. Both install what is missing first.
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

HEADLESS_ENV = QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1 \
	QT_LOGGING_RULES="qt.webenginecontext.info=false"

.PHONY: all deps configure build run test bench screenshot demo format clean

all: build

deps:
	@bash scripts/install-deps.sh

$(BUILD_DIR)/CMakeCache.txt:
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS)

configure: deps $(BUILD_DIR)/CMakeCache.txt

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	$(BUILD_DIR)/bin/quillet

test: build
	cd $(BUILD_DIR) && $(HEADLESS_ENV) ctest --output-on-failure -j $(JOBS)

bench: build
	@$(HEADLESS_ENV) bash scripts/run-benchmarks.sh $(BUILD_DIR)

screenshot: build
	$(HEADLESS_ENV) $(BUILD_DIR)/bin/quillet-screenshot docs/screenshot.png

format:
	find src tests tools bench -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD_DIR)

# The reference news service in the foreground (examples/news-service/README.md).
NEWS_PORT ?= 8080
.PHONY: news-service
news-service:
	php -S 127.0.0.1:$(NEWS_PORT) -t examples/news-service
