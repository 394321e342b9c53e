# Quillet: the two commands of the README, and a few helpers.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)

PREFIX ?= /usr/local

.PHONY: demo test build deps clean format install deb

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

# Lays Quillet out under PREFIX: bin/quillet, share/quillet/, the desktop
# entry, the metainfo, the icons and the man page.
install: build
	cmake --install $(BUILD_DIR) --prefix $(PREFIX)

# quillet_VERSION_ARCH.deb in the build folder (needs dpkg-dev; lintian to check it).
deb: build
	cd $(BUILD_DIR) && cpack -G DEB

clean:
	rm -rf $(BUILD_DIR) out

format:
	clang-format -i $(FORMAT_FILES)
