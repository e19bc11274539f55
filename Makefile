# The two commands of README.md: `make run` and `make test`. Both install what is missing,
# configure and build (Release) first.
BUILD ?= build
BUILD_TYPE ?= Release
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
# Seconds each fuzz target runs: short in `make test`, longer with `make fuzz`.
FUZZ_SECONDS ?= 60
TEST_FUZZ_SECONDS ?= 20
SANITIZER_ENV = ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1:abort_on_error=1 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0

.PHONY: all deps configure build run test test-sanitizers format-check tidy fuzz bench clean screenshot \
	package

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DKORVANI_WERROR=ON $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS) -- --no-print-directory

run: build
	@scripts/demo.sh $(BUILD)

# The whole suite: the format check, the unit tests under AddressSanitizer,
# UndefinedBehaviorSanitizer and LeakSanitizer, a short run of every fuzz target, then the Release
# build's tests.
test: build format-check test-sanitizers
	@scripts/fuzz.sh $(TEST_FUZZ_SECONDS) $(FUZZ_BUILD)
	@ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

test-sanitizers: deps
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Asan -DKORVANI_WERROR=ON \
		-DKORVANI_BENCHMARKS=OFF >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS) -- --no-print-directory
	@$(SANITIZER_ENV) ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

# Every C++ file under src, tests, bench and fuzz must be as clang-format leaves it; the message
# names the files and `clang-format -i FILE` mends them.
FORMATTED = $(shell git ls-files 'src/*' 'tests/*' 'bench/*' 'fuzz/*' | grep -E '\.(cpp|h)$$')
format-check: deps
	@clang-format --dry-run -Werror $(FORMATTED)

# clang-tidy with the project's .clang-tidy over the sources the Release build compiles.
tidy: configure
	@scripts/tidy.sh $(BUILD)

fuzz: deps
	@scripts/fuzz.sh $(FUZZ_SECONDS) $(FUZZ_BUILD)

bench: build
	@bench/compare.sh $(BUILD)

# The desktop dialog drawn offscreen, for a look without a display: in its own font
# (IPAPGothic), and as on a desktop without the IPA fonts (Noto Sans CJK JP); then the mail
# window with a sample mail.
screenshot: configure
	@cmake --build $(BUILD) -j $(JOBS) --target korvani-gui -- --no-print-directory
	@mkdir -p out
	@$(BUILD)/src/gui/korvani-gui --screenshot out/korvani-gui.png
	@FONTCONFIG_FILE=$(CURDIR)/src/gui/resources/without-ipafont.conf \
		$(BUILD)/src/gui/korvani-gui --screenshot out/korvani-gui-noto.png
	@$(BUILD)/src/gui/korvani-gui --mail samples/mail-window.eml --screenshot out/korvani-mail.png
	@echo "out/korvani-gui.png out/korvani-gui-noto.png out/korvani-mail.png"

# The Debian package, korvani_<version>_<arch>.deb, in $(BUILD)/package/.
package: build
	@cmake --build $(BUILD) --target package -- --no-print-directory

clean:
	@rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) out
