# The two commands of README.md: `make run` and `make test`. Both install what is missing,
# configure and build (Release) first.
BUILD ?= build
BUILD_TYPE ?= Release
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps configure build run test bench clean screenshot

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DKORVANI_WERROR=ON $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS) -- --no-print-directory

run: build
	@scripts/demo.sh $(BUILD)

test: build
	@ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

bench: build
	@bench/compare.sh $(BUILD)

# The desktop dialog drawn offscreen with its Japanese font, for a look without a display.
screenshot: configure
	@cmake --build $(BUILD) -j $(JOBS) --target korvani-gui -- --no-print-directory
	@mkdir -p out
	@$(BUILD)/src/gui/korvani-gui --screenshot out/korvani-gui.png
	@echo "out/korvani-gui.png"

clean:
	@rm -rf $(BUILD) out
