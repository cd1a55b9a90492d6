# The two commands the README opens with: `make run` and `make test`.
JOBS ?= $(shell nproc)
BUILD ?= build
ASAN_BUILD ?= build-asan

.PHONY: run test deps build build-asan test-normal test-asan test-install package bench format clean

run: build
	$(BUILD)/tools/quenlix scan samples/quenlix-sample.ts

test: test-normal test-asan test-tsan test-fuzz test-install

deps:
	./scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

build-asan: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUENLIX_SANITIZE=ON -DQUENLIX_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)

test-normal: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: build-asan
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
		ctest --output-on-failure -j $(JOBS)

# --- installed tree and Debian package (owned by install) ---
# Installs the normal build into a scratch prefix, builds and runs examples/ against it, and unpacks
# the .deb into a scratch root.
test-install: build
	./scripts/test-install.sh $(BUILD)

package: build
	cmake --build $(BUILD) --target package
# --- end of installed tree ---

bench: build
	for b in $(BUILD)/bench/bench_*; do [ -x "$$b" ] && "$$b"; done

format:
	find . -path './build*' -prune -o -path ./.git -prune -o \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) -print | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(TSAN_BUILD)

# --- fuzzing and thread checking (owned by tests) ---
# The fuzz targets in a clang build of their own; `make fuzz` runs each for FUZZ_SECONDS, the test stage
# for FUZZ_TEST_SECONDS. Any finding (crash, leak, sanitizer report) fails the run; new inputs found
# go to the build folder, the seeds in fuzz/corpus stay as committed.
FUZZ_BUILD ?= build-fuzz
TSAN_BUILD ?= build-tsan
FUZZ_TARGETS := receive sequence decode demux
FUZZ_SECONDS ?= 300
FUZZ_TEST_SECONDS ?= 12

.PHONY: build-fuzz fuzz test-fuzz fuzz-seeds build-tsan test-tsan

build-fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUENLIX_FUZZ=ON -DQUENLIX_BENCH=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target $(addprefix fuzz_,$(FUZZ_TARGETS) seeds)

# Runs every target for $(1) seconds on its seeds and what earlier runs found.
define run_fuzz
	set -e; for t in $(FUZZ_TARGETS); do \
		mkdir -p $(FUZZ_BUILD)/corpus/$$t $(FUZZ_BUILD)/findings; \
		echo "fuzz_$$t: $(1) s"; \
		$(FUZZ_BUILD)/fuzz/fuzz_$$t -max_total_time=$(1) -max_len=4200 -timeout=10 -rss_limit_mb=1024 \
			-artifact_prefix=$(FUZZ_BUILD)/findings/ -print_final_stats=1 \
			$(FUZZ_BUILD)/corpus/$$t fuzz/corpus/$$t 2>$(FUZZ_BUILD)/fuzz_$$t.log \
			|| { tail -n 60 $(FUZZ_BUILD)/fuzz_$$t.log; exit 1; }; \
		grep -E '^stat::number_of_executed_units' $(FUZZ_BUILD)/fuzz_$$t.log; \
	done
endef

fuzz: build-fuzz
	$(call run_fuzz,$(FUZZ_SECONDS))

test-fuzz: build-fuzz
	$(call run_fuzz,$(FUZZ_TEST_SECONDS))

# Rewrites the committed seed corpus from the section builders.
fuzz-seeds: build-fuzz
	mkdir -p $(addprefix fuzz/corpus/,$(FUZZ_TARGETS))
	$(FUZZ_BUILD)/fuzz/fuzz_seeds fuzz/corpus

build-tsan: deps
	cmake -S . -B $(TSAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUENLIX_TSAN=ON -DQUENLIX_BENCH=OFF
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target test_stress test_query

# The stress run, and the interface tests whose threads wait for the section lock.
test-tsan: build-tsan
	TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 $(TSAN_BUILD)/tests/test_stress
	TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 $(TSAN_BUILD)/tests/test_query

# --- Windows (owned by the Windows build) ---
# quenlix.ax and quenlix.exe cross-built with mingw-w64 and tested under Wine, after the Linux builds.
.PHONY: windows test-windows clean-windows
test: test-windows
test-windows: build
	JOBS=$(JOBS) ./scripts/windows.sh test $(BUILD)/tools/quenlix

windows: deps
	JOBS=$(JOBS) ./scripts/windows.sh package

clean: clean-windows
clean-windows:
	rm -rf build-win64 build-win32 quenlix-win64.zip quenlix-win32.zip
# --- end of Windows ---
