# What a newcomer types. Every target installs what is missing first.
BUILD      ?= build
JOBS       ?= $(shell nproc)
CMAKE_GEN  := -G Ninja
SRC        := $(CURDIR)

.PHONY: all deps build run test package check-sanitize check-asan check-tsan fuzz bench format clean

all: build

deps:
	@bash scripts/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

# Opens the window. Without a display the program runs under a virtual X server.
run: build
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then $(BUILD)/bin/viren; \
	 else echo "No display: starting VIREN under Xvfb"; xvfb-run -a -s "-screen 0 1280x1024x24" $(BUILD)/bin/viren; fi

# Timing tests against pseudo-terminal peers can lose a race on a loaded
# machine; a test that fails is run again up to twice before it counts.
CTEST_FLAGS := --output-on-failure -j $(JOBS) --repeat until-pass:3

test: build
	@cd $(BUILD) && VIREN_AUDIO_SINK="fakesink sync=true" ctest $(CTEST_FLAGS)

# A Debian package of the program (build/viren_<version>_<arch>.deb); it
# installs the program folder to /usr/lib/viren with a menu entry.
package: build
	@cmake --build $(BUILD) --target package

check-sanitize: check-asan check-tsan

check-asan: deps
	@cmake -S . -B build-asan $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DVIREN_SANITIZE=address -DVIREN_BUILD_BENCH=OFF >/dev/null
	@cmake --build build-asan -j $(JOBS)
	@cd build-asan && ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  VIREN_AUDIO_SINK="fakesink sync=true" ctest $(CTEST_FLAGS)

check-tsan: deps
	@cmake -S . -B build-tsan $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DVIREN_SANITIZE=thread -DVIREN_BUILD_BENCH=OFF >/dev/null
	@cmake --build build-tsan -j $(JOBS)
	@cd build-tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$(SRC)/tests/tsan.supp" \
	  VIREN_AUDIO_SINK="fakesink sync=true" ctest $(CTEST_FLAGS)

# Every parser under libFuzzer with ASan and UBSan (clang), FUZZ_SECONDS each.
# A crash lands in tests/fuzz/corpus/<target>/ and fails `make test` until mended.
FUZZ_SECONDS ?= 60
fuzz: deps
	@cmake -S . -B build-fuzz $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DVIREN_FUZZ=ON \
	  -DVIREN_BUILD_TESTS=OFF -DVIREN_BUILD_BENCH=OFF >/dev/null
	@cmake --build build-fuzz -j $(JOBS) --target fuzz_targets
	@bash scripts/run-fuzz.sh build-fuzz $(FUZZ_SECONDS)

bench: deps
	@bash scripts/install-bench-deps.sh
	@cmake -S . -B build-release $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DVIREN_BUILD_TESTS=OFF >/dev/null
	@cmake --build build-release -j $(JOBS)
	@for b in build-release/bench/bench_*; do [ -x "$$b" ] && "$$b" --benchmark_min_time=0.2; done; true

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) build-asan build-tsan build-release build-fuzz
