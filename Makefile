# The two commands the README opens with: `make run` and `make test`.
JOBS ?= $(shell nproc)
BUILD ?= build
ASAN_BUILD ?= build-asan

.PHONY: run test deps build build-asan test-normal test-asan test-install package bench format clean

run: build
	$(BUILD)/tools/quenlix scan samples/quenlix-sample.ts

test: test-normal test-asan test-install

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
	find . -path ./build -prune -o -path ./build-asan -prune -o \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) -print | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
