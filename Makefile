# Quillet: the two commands of the README, and a few helpers.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)

.PHONY: demo test build deps clean format

# The C++ sources clang-format looks after.
FORMAT_FILES = $(shell git ls-files '*.cpp' '*.h')

deps:
	./scripts/install-deps

build: deps
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

demo: build
	./scripts/demo $(BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR) out

format:
	clang-format -i $(FORMAT_FILES)
