# The commands of README.md: `make run`, `make check` and `make test`. Each installs what is
# missing, configures and builds (Release) first.
BUILD ?= build
BUILD_TYPE ?= Release
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
FUZZ_BUILD ?= build-fuzz
# Seconds each fuzz target runs: short in `make test`, longer with `make fuzz`.
FUZZ_SECONDS ?= 60
TEST_FUZZ_SECONDS ?= 20
SANITIZER_ENV = ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1:abort_on_error=1 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0
# The longest history, so that both stacks of a report are restored and tests/tsan.supp can match
# them. GLib's slice allocator hands blocks between threads under its own futex locks, which
# ThreadSanitizer cannot see: G_SLICE=always-malloc gives it plain malloc, which it can.
TSAN_ENV = KORVANI_UNDER_TSAN=1 G_SLICE=always-malloc TSAN_OPTIONS=suppressions=$(CURDIR)/tests/tsan.supp:history_size=7:halt_on_error=1:second_deadlock_stack=1
# What runs under ThreadSanitizer: the mail engine's tests, the mail window's and extract's
# workers (--jobs; those tests run the korvani of the same build too), the code that hands work to
# other threads. Each name is the start of a CTest test's name.
TSAN_TESTS = ^(Mail|AttachmentName|HtmlText|MboxSplitter|ParallelExtract|OrderedPipeline|korvani_mail_window_tests$$)

.PHONY: all deps configure build run check test test-sanitizers test-tsan format-check tidy fuzz \
	bench bench-hostile clean screenshot package

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DKORVANI_WERROR=ON $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS) -- --no-print-directory

run: build
	@scripts/demo.sh $(BUILD)

# The quick loop: the Release build's tests, without the package checks (they build the package).
check: build
	@ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) -LE packaging

# The whole suite, the cheap and telling steps first: the format check, clang-tidy and the
# Release build's tests (the package checks included); then the tests under AddressSanitizer,
# UndefinedBehaviorSanitizer and LeakSanitizer, the threaded ones under ThreadSanitizer, and a
# short run of every fuzz target. Each step runs after the one before, even under `make -j`.
test: format-check build
	@scripts/tidy.sh $(BUILD)
	@ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	@$(MAKE) --no-print-directory test-sanitizers
	@$(MAKE) --no-print-directory test-tsan
	@scripts/fuzz.sh $(TEST_FUZZ_SECONDS) $(FUZZ_BUILD)

test-sanitizers: deps
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Asan -DKORVANI_WERROR=ON \
		-DKORVANI_BENCHMARKS=OFF >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS) -- --no-print-directory
	@$(SANITIZER_ENV) ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

# ThreadSanitizer over the tests of TSAN_TESTS only; Qt, GLib and GMime are not built with it,
# and tests/tsan.supp names the reports inside them that are not ours.
test-tsan: deps
	@cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=Tsan -DKORVANI_WERROR=ON \
		-DKORVANI_BENCHMARKS=OFF >/dev/null
	@cmake --build $(TSAN_BUILD) -j $(JOBS) --target korvani korvani_tests korvani_mail_window_tests \
		-- --no-print-directory
	@$(TSAN_ENV) ctest --test-dir $(TSAN_BUILD) --output-on-failure -j $(JOBS) -R '$(TSAN_TESTS)'

# Every C++ file under src, tests, bench and fuzz must be as clang-format leaves it; the message
# names the files and `clang-format -i FILE` mends them.
FORMATTED = $(shell git ls-files 'src/*' 'tests/*' 'bench/*' 'fuzz/*' | grep -E '\.(cpp|h)$$')
format-check: deps
	@clang-format --dry-run -Werror $(FORMATTED)

# clang-tidy with the project's .clang-tidy over the sources the Release build compiles; fails on
# any finding and on any file clang-tidy cannot read. The build comes first for its generated
# sources (Qt's moc, the code page tables).
tidy: build
	@scripts/tidy.sh $(BUILD)

fuzz: deps
	@scripts/fuzz.sh $(FUZZ_SECONDS) $(FUZZ_BUILD)

# The peer comparison, the hostile shapes of mail (bench/hostile.sh; BEFORE=/path/to/korvani
# runs an earlier build beside this one), unpacking a 100 MiB ZIP against bsdtar, then archives
# at scale: 10 000 mails with one job and two against munpack, and a 1 GiB mbox listed.
bench: build
	@bench/compare.sh $(BUILD)
	@bench/hostile.sh $(BUILD)
	@bench/unpack.sh $(BUILD)
	@bench/scale.sh $(BUILD)

bench-hostile: build
	@bench/hostile.sh $(BUILD)

# The desktop dialog drawn offscreen, for a look without a display, as a Japanese user sees it
# (under ja_JP.UTF-8, in Japan's time zone): in its own font (IPAPGothic), where it must be
# 464x332, and as on a desktop without the IPA fonts (Noto Sans CJK JP); then the mail window with
# a sample mail, the same with its find bar open, and the first page of its PDF export.
JAPANESE = LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 TZ=Asia/Tokyo
screenshot: configure
	@cmake --build $(BUILD) -j $(JOBS) --target korvani-gui -- --no-print-directory
	@mkdir -p out
	@$(JAPANESE) $(BUILD)/src/gui/korvani-gui --screenshot out/korvani-gui.png
	@file out/korvani-gui.png | grep -q ', 464 x 332,' || \
		{ echo "out/korvani-gui.png is not 464x332: $$(file -b out/korvani-gui.png)" >&2; exit 1; }
	@$(JAPANESE) FONTCONFIG_FILE=$(CURDIR)/src/gui/resources/without-ipafont.conf \
		$(BUILD)/src/gui/korvani-gui --screenshot out/korvani-gui-noto.png
	@$(JAPANESE) $(BUILD)/src/gui/korvani-gui --mail samples/mail-window.eml \
		--screenshot out/korvani-mail.png
	@$(JAPANESE) $(BUILD)/src/gui/korvani-gui --mail samples/mail-window.eml --find 購入 \
		--screenshot out/korvani-mail-find.png
	@$(JAPANESE) $(BUILD)/src/gui/korvani-gui --mail samples/mail-window.eml \
		--pdf out/korvani-mail.pdf
	@pdftoppm -png -r 80 -f 1 -l 1 -singlefile out/korvani-mail.pdf out/korvani-mail-pdf
	@echo "out/korvani-gui.png out/korvani-gui-noto.png out/korvani-mail.png" \
		"out/korvani-mail-find.png out/korvani-mail-pdf.png"

# The Debian package, korvani_<version>_<arch>.deb, in $(BUILD)/package/.
package: build
	@cmake --build $(BUILD) --target package -- --no-print-directory

clean:
	@rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD) out
