# Thin wrappers around CMake; see README.md.
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
FUZZ_SECONDS ?= 60

.PHONY: deps run test bench fuzz clean

deps:
	bash scripts/install-deps

run: deps
	cmake -S . -B build/run -G Ninja -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)
	cmake --build build/run -j $(JOBS) --target vantu
	build/run/Corvane/vantu

test: deps
	cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVANTU_SANITIZE=ON -DVANTU_WERROR=ON $(CMAKE_FLAGS)
	cmake --build build/test -j $(JOBS)
	cd build/test && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

bench: deps
	cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)
	cmake --build build/bench -j $(JOBS) --target benchmarks
	set -e; for b in build/bench/bench/bench_*; do if [ -f "$$b" ] && [ -x "$$b" ]; then "$$b" $(BENCH_FLAGS); fi; done

# libFuzzer needs clang++; the same targets replay their corpora in `make test`.
fuzz: deps
	cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ -DVANTU_SANITIZE=ON -DVANTU_WERROR=ON -DVANTU_FUZZ=ON $(CMAKE_FLAGS)
	cmake --build build/fuzz -j $(JOBS) --target fuzzers
	bash fuzz/run.sh $(FUZZ_SECONDS)

clean:
	rm -rf build
