# The two commands the README opens with: `make run` and `make test`.
JOBS ?= $(shell nproc)
BUILD ?= build
ASAN_BUILD ?= build-asan

.PHONY: run test deps build build-asan test-normal test-asan bench format clean

run: build
	$(BUILD)/tools/quenlix scan samples/quenlix-sample.ts

test: test-normal test-asan

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

bench: build
	for b in $(BUILD)/bench/bench_*; do [ -x "$$b" ] && "$$b"; done

format:
	find . -path ./build -prune -o -path ./build-asan -prune -o \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) -print | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)

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
