# Thin wrapper around CMake. `make test` is the one test command: it installs what the build
# and the tests need (only what is missing), configures, builds and runs every test, then
# builds the tests once more with AddressSanitizer and UndefinedBehaviorSanitizer and runs them,
# and last the tests of the code that runs on two threads with ThreadSanitizer.

BUILD_DIR ?= build
SANITIZE_DIR ?= build-sanitize
TSAN_DIR ?= build-tsan
FUZZ_DIR ?= build-fuzz
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
FUZZ_SECONDS ?= 60

# Debian 12 packages the build and the tests need; the X server and its tools drive the real
# program in the whole-program checks.
PACKAGES := g++ make cmake libgtest-dev libgmock-dev libbenchmark-dev qt6-base-dev qt6-charts-dev \
            libqt6opengl6-dev libgdcm-dev xvfb xauth xdotool x11-utils clang-format
# What `make fuzz` needs besides: clang and its libFuzzer and sanitizer runtimes.
FUZZ_PACKAGES := clang-14 libclang-rt-14-dev

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

# Installs the packages named in $(1) that are not installed yet.
define install_missing
	@missing=""; \
	for p in $(1); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing; \
	fi
endef

# The tests of the code that works on two threads: the grey buffer's filling and sharpening, the
# view's stretch copy, and the loader, which prepares the buffer's pages while it decodes.
TSAN_TESTS := ^(PixelBuffer|Sharpening|Box|LargeBox|PictureOpens|PictureRefused)\.

# ThreadSanitizer (of g++ 12) needs its shadow memory at fixed addresses, which a kernel that
# randomises mappings with more bits (32, as recent kernels may) can have taken already: the run
# is made without address randomisation where the system allows it (setarch comes with Debian).
NO_ASLR = $(shell setarch $$(uname -m) -R true 2>/dev/null && echo setarch $$(uname -m) -R)

.PHONY: all deps configure build test sanitize tsan run run-dicom fuzz clean format format-check

all: build

deps:
	$(call install_missing,$(PACKAGES))

configure: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DOXEL_WERROR=ON -DOXEL_REQUIRE_QT=ON

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

test: format-check build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)
	$(MAKE) sanitize
	$(MAKE) tsan

# The tests again, built with AddressSanitizer and UndefinedBehaviorSanitizer: any report fails.
# The leak checker of g++ 12 misreads the thread-local blocks of libraries loaded later (the
# printer plugin) on Debian 12's C library and crashes at exit; it is not told about them.
sanitize: deps
	cmake -S . -B $(SANITIZE_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DOXEL_WERROR=ON -DOXEL_REQUIRE_QT=ON -DOXEL_SANITIZE=ON
	cmake --build $(SANITIZE_DIR) -j $(JOBS)
	cd $(SANITIZE_DIR) && \
	  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:intercept_tls_get_addr=0 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/sanitizer-suppressions.txt:print_suppressions=0 \
	  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS)

# The tests of the threaded code, built with ThreadSanitizer: any report fails the run. Only the
# two test programs that hold those tests are built.
tsan: deps
	cmake -S . -B $(TSAN_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DOXEL_WERROR=ON -DOXEL_TSAN=ON
	cmake --build $(TSAN_DIR) -j $(JOBS) --target oxel_core_tests oxel_ui_tests
	cd $(TSAN_DIR) && \
	  TSAN_OPTIONS=halt_on_error=1:exitcode=66:suppressions=$(CURDIR)/tests/tsan-suppressions.txt \
	  $(NO_ASLR) ctest --output-on-failure --no-tests=error -j $(JOBS) -R '$(TSAN_TESTS)'

# Each fuzz target for FUZZ_SECONDS, starting from its committed corpus; findings are written
# into $(FUZZ_DIR) and fail the command.
fuzz: deps
	$(call install_missing,$(FUZZ_PACKAGES))
	cmake -S . -B $(FUZZ_DIR) -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DOXEL_FUZZ=ON
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target fuzz_landmark_file fuzz_settings_file fuzz_picture fuzz_dicom fuzz_result_file
	for t in landmark_file settings_file picture dicom result_file; do \
	  mkdir -p $(FUZZ_DIR)/corpus/$$t && cp tests/fuzz/corpus/$$t/* $(FUZZ_DIR)/corpus/$$t/ && \
	  QT_QPA_PLATFORM=offscreen $(FUZZ_DIR)/tests/fuzz/fuzz_$$t -max_total_time=$(FUZZ_SECONDS) \
	    -artifact_prefix=$(FUZZ_DIR)/$$t- $(FUZZ_DIR)/corpus/$$t || exit 1; \
	done

# Starts the desktop program on the demo radiograph, copied into the build tree so that the
# repository is never written to. A copy that is already there is kept with whatever was done
# to it; delete $(BUILD_DIR)/demo to start afresh. PICTURE names another picture of demo/:
# `make run-dicom` opens the same radiograph as a DICOM DX, whose header gives the scale, the
# focus distance and the patient (it has no landmark file).
PICTURE ?= hip-demo.jpg
run: build
	mkdir -p $(BUILD_DIR)/demo
	cp -n demo/* $(BUILD_DIR)/demo/
	cd $(BUILD_DIR)/demo && ../app/oxel --fit $(PICTURE)

run-dicom:
	$(MAKE) run PICTURE=hip-demo-dx.dcm

# The C++ sources of the project, wherever the tree was cloned.
SOURCES = $(shell find app bench cli src tests tools -name '*.cpp' -o -name '*.h')

format:
	clang-format -i $(SOURCES)

# Fails on any C++ file that .clang-format would change; `make format` changes them.
format-check: deps
	@echo "clang-format --dry-run --Werror <every C++ source>"
	@clang-format --dry-run --Werror $(SOURCES)

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR) $(TSAN_DIR) $(FUZZ_DIR)
