# Thin wrapper over CMake.
JOBS ?= $(shell nproc 2>/dev/null || echo 4)
PREFIX ?= /usr/local

.PHONY: all test example install clean fuzz fuzz-corpus

# Seconds each fuzz target runs in `make fuzz`; FUZZ_TARGETS picks targets (default: all).
FUZZ_SECONDS ?= 60
FUZZ_TARGETS ?=
CLANGXX := $(shell command -v clang++ 2>/dev/null)

all:
	cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
	cmake --build build -j $(JOBS)

# The whole suite under AddressSanitizer and UndefinedBehaviorSanitizer; then the builder's
# tests, whose sprite builds run on several threads, under ThreadSanitizer (build-tsan/).
test:
	cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Debug -DOBJTOOLS_TESTS=ON -DOBJTOOLS_SANITIZE=ON
	cmake --build build-test -j $(JOBS)
	cd build-test && ctest --output-on-failure -j $(JOBS)
	cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOBJTOOLS_TESTS=ON -DOBJTOOLS_TSAN=ON
	cmake --build build-tsan -j $(JOBS) --target test_builder
	build-tsan/bin/test_builder --gtest_brief=1

example: all
	bash examples/build.sh

install: all
	cmake --install build --prefix $(PREFIX)

# The libFuzzer targets in fuzz/, built with clang into build-fuzz/ and run in turn.
fuzz:
ifeq ($(CLANGXX),)
	@echo "clang++ not found: the fuzz targets are not built"
else
	cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=$(CLANGXX) -DOBJTOOLS_FUZZ=ON
	cmake --build build-fuzz -j $(JOBS) --target fuzzers
	bash fuzz/run.sh build-fuzz $(FUZZ_SECONDS) $(FUZZ_TARGETS)
endif

# Rewrites the seed corpora in fuzz/corpus/ from the project's own writers.
fuzz-corpus:
	cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Debug -DOBJTOOLS_TESTS=ON -DOBJTOOLS_SANITIZE=ON
	cmake --build build-test -j $(JOBS) --target make_fuzz_corpus
	build-test/bin/make_fuzz_corpus fuzz/corpus

clean:
	rm -rf build build-test build-tsan build-fuzz
