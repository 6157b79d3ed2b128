# Thin wrapper over the CMake presets.
.PHONY: deps configure build test run asan tsan bench clean

deps:
	@bash scripts/install-deps

configure: deps
	cmake --preset default

# Configured once: afterwards ninja runs cmake again by itself when a
# CMakeLists.txt changes, so later builds and runs start quietly.
build/build.ninja: | deps
	cmake --preset default

build: deps build/build.ninja
	cmake --build --preset default

test: build
	ctest --preset default -j$$(nproc)

run: build
	./build/app/frame-enhancer

asan: deps
	cmake --preset asan
	cmake --build --preset asan
	ctest --preset asan -j$$(nproc)

tsan: deps
	cmake --preset tsan
	cmake --build --preset tsan --target media_tests capture_tests
	ctest --preset tsan -L 'media|capture' -j$$(nproc)

bench: build
	@ls build/bench/bench_* 2>/dev/null

clean:
	rm -rf build build-asan build-tsan
