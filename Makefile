# Thin wrappers around CMake; see README.md.
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: deps test bench clean

deps:
	bash scripts/install-deps

test: deps
	cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVANTU_SANITIZE=ON -DVANTU_WERROR=ON $(CMAKE_FLAGS)
	cmake --build build/test -j $(JOBS)
	cd build/test && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf build
