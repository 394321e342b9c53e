# Quillet: the two commands of the README, and a few helpers.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)

PREFIX ?= /usr/local

.PHONY: demo test build deps clean format install deb lint sanitize tsan fuzz

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
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR) $(TSAN_DIR) $(FUZZ_DIR) out

format:
	clang-format -i $(FORMAT_FILES)

# Formatting check and clang-tidy (.clang-tidy) over every source the build
# compiles; sources that passed unchanged are not checked again.
lint: build
	./scripts/lint $(BUILD_DIR) $(JOBS)

# The tests built with AddressSanitizer and UndefinedBehaviorSanitizer in a
# build folder of their own (-O1, line tables only, assertions on); the
# browser and LibreOffice tests are left out (they drive programs that are
# not built here and take long).
SANITIZE_DIR ?= build-sanitize
sanitize: deps
	cmake -S . -B $(SANITIZE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLET_SANITIZE=ON \
	  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO='-O1 -g1'
	cmake --build $(SANITIZE_DIR) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/sanitize/leaks.supp:print_suppressions=0 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	ctest --test-dir $(SANITIZE_DIR) --output-on-failure -j $(JOBS) -LE 'browser|libreoffice'

# The tests that run the parallel pipeline (the encoder on several threads,
# the slide exporter's workers, the conversion on every core, batches) built
# with ThreadSanitizer in a build folder of their own; only their executables
# are built. tests/sanitize/threads.supp names what the uninstrumented
# libraries do that ThreadSanitizer cannot see.
TSAN_DIR ?= build-tsan
TSAN_TARGETS = jpeg_tests conversion_stage_tests platform_tests
tsan: deps
	cmake -S . -B $(TSAN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLET_TSAN=ON \
	  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO='-O1 -g1'
	cmake --build $(TSAN_DIR) -j $(JOBS) --target $(TSAN_TARGETS)
	TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$(CURDIR)/tests/sanitize/threads.supp \
	ctest --test-dir $(TSAN_DIR) --output-on-failure --no-tests=error -j $(JOBS) -L threads

# libFuzzer targets built with clang (tests/fuzz/), each run FUZZ_SECONDS from
# its seeds in tests/fuzz/corpus/; what they find goes to $(FUZZ_DIR)/findings.
FUZZ_DIR ?= build-fuzz
FUZZ_SECONDS ?= 30
fuzz: deps
	CXX=clang++-14 cmake -S . -B $(FUZZ_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLET_FUZZ=ON
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target fuzz_targets
	./scripts/fuzz $(FUZZ_DIR) $(FUZZ_SECONDS)
