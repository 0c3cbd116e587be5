# Thin wrapper over CMake.
JOBS ?= $(shell nproc 2>/dev/null || echo 4)
PREFIX ?= /usr/local

.PHONY: all test example install clean

all:
	cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
	cmake --build build -j $(JOBS)

test:
	cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Debug -DOBJTOOLS_TESTS=ON -DOBJTOOLS_SANITIZE=ON
	cmake --build build-test -j $(JOBS)
	cd build-test && ctest --output-on-failure -j $(JOBS)

example: all
	bash examples/build.sh

install: all
	cmake --install build --prefix $(PREFIX)

clean:
	rm -rf build build-test
