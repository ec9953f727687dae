# The two everyday commands: `make run` and `make test`. Both install what is missing first.
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

HEADLESS_ENV = QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1 \
	QT_LOGGING_RULES="qt.webenginecontext.info=false"

.PHONY: all deps configure build run test bench screenshot demo demo-screenshots format clean

all: build

deps:
	@bash scripts/install-deps.sh

$(BUILD_DIR)/CMakeCache.txt:
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS)

configure: deps $(BUILD_DIR)/CMakeCache.txt

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	bash scripts/start-quillet.sh $(BUILD_DIR)/bin/quillet

test: build
	cd $(BUILD_DIR) && $(HEADLESS_ENV) ctest --output-on-failure -j $(JOBS)

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

format:
	find src tests tools bench -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD_DIR)
