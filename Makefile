# Entry points for people: `make test` and `make demo` do all the set-up on a fresh Debian 12.
BUILD ?= build
JOBS  ?= $(shell nproc)
CMAKE_FLAGS ?=
# The recursive makes of CMake's build say nothing about the folders they enter.
MAKEFLAGS += --no-print-directory

.PHONY: all deps configure build test soak demo bench fuzz asan tsan package package-test clean

all: build

deps:
	@scripts/install-deps.sh

# Configuring and building print one line each; their whole output goes to a log that is
# shown when they fail. Warnings are errors.
configure: deps
	@mkdir -p $(BUILD)
	@echo "Configuring $(BUILD) (log: $(BUILD)/configure.log)"
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKIV_WERROR=ON $(CMAKE_FLAGS) > $(BUILD)/configure.log 2>&1 \
	  || { cat $(BUILD)/configure.log; exit 1; }

build: configure
	@echo "Building $(BUILD) (log: $(BUILD)/build.log)"
	@cmake --build $(BUILD) -j $(JOBS) > $(BUILD)/build.log 2>&1 || { tail -n 80 $(BUILD)/build.log; exit 1; }

# The tests' summary, or the output of every test that failed.
test: build
	@echo "Testing $(BUILD) (log: $(BUILD)/test.log)"
	@cd $(BUILD) && { ctest --output-on-failure -j $(JOBS) > test.log 2>&1 \
	  && grep -E "tests passed|Total Test time" test.log; } \
	  || { grep -vE "^ +Start |Passed +[0-9.]+ sec" test.log | tail -n 300; exit 1; }

# The printer application under twenty clients at once for SOAK_SECONDS (the suite runs 5).
SOAK_SECONDS ?= 600
soak: build
	VAD3_PRINTER_SOAK_SECONDS=$(SOAK_SECONDS) $(BUILD)/tests/kiv_printer_tests --gtest_filter='PrinterService.ManyClients*'

demo: build
	@scripts/demo.sh $(BUILD)

# Encoder throughput on synthetic A3 pages, and the write-buffer cache hints.
bench: build
	$(BUILD)/bench/bench_codecs
	$(BUILD)/bench/bench_write_hint $(BUILD) 1024
	cd $(BUILD) && bench/bench_print 7

# Each parser's libFuzzer target for FUZZ_SECONDS, from its saved corpus (clang).
FUZZ_SECONDS ?= 60
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKIV_FUZZ=ON -DKIV_SANITIZE=address,undefined
	cmake --build build-fuzz -j $(JOBS) --target fuzz_plist fuzz_decoders fuzz_vad3 fuzz_catalogue fuzz_roundtrip fuzz_printbitmap
	for t in plist decoders vad3 catalogue roundtrip printbitmap; do \
	  mkdir -p build-fuzz/corpus/$$t && \
	  build-fuzz/fuzz/fuzz_$$t -max_total_time=$(FUZZ_SECONDS) -max_len=65536 build-fuzz/corpus/$$t fuzz/corpus/$$t || exit 1; \
	done

# The suite under AddressSanitizer and UndefinedBehaviorSanitizer.
asan:
	$(MAKE) test BUILD=build-asan CMAKE_FLAGS="-DKIV_SANITIZE=address,undefined"

# The suite under ThreadSanitizer (the background writer).
tsan:
	$(MAKE) test BUILD=build-tsan CMAKE_FLAGS="-DKIV_SANITIZE=thread"

# The Debian package of the whole product, built with debhelper from a copy of the tree:
# build-package/varnel_VERSION_ARCH.deb (log: build-package/build.log).
package: deps
	@rm -rf build-package && mkdir -p build-package/varnel
	@tar --exclude='./build*' --exclude=./.git -cf - . | tar -xf - -C build-package/varnel
	@echo "Packaging (log: build-package/build.log)"
	@cd build-package/varnel && dpkg-buildpackage -us -uc -b > ../build.log 2>&1 || { tail -n 60 ../build.log; exit 1; }
	@ls build-package/*.deb

# The package checked as a user meets it: lintian, installed on this machine, its server run
# and printed to, then purged (see scripts/package-test.sh).
package-test: package
	@scripts/package-test.sh build-package

clean:
	rm -rf build build-asan build-tsan build-fuzz build-package
