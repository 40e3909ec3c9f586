# Orbikon: the two commands a newcomer needs are `make run` and `make test`.

# Every Debian 12 package the project needs to build, test and run.
DEB_PACKAGES := build-essential cmake ninja-build pkg-config \
                libgtest-dev libgmock-dev libbenchmark-dev \
                liblapack-dev libfreetype-dev fonts-dejavu-core \
                libpng-dev zlib1g-dev \
                qt6-base-dev libgl-dev libasound2-dev \
                xvfb xauth xdotool xclip x11-apps imagemagick python3

# Only `make fuzz` needs these: clang with its libFuzzer and sanitizer runtimes.
FUZZ_PACKAGES := clang libclang-rt-14-dev

BUILD_DIR := build
TEST_DIR := build/sanitize
TSAN_DIR := build/tsan
BENCH_DIR := build/bench
FUZZ_DIR := build/fuzz
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := replay disasm font keyfile line_input mttools qasm
JOBS ?= $(shell nproc)

.PHONY: all deps bench-deps fuzz-deps build run test tsan bench fuzz clean

all: build

# Only the bench's comparison needs these: scipy's eigsh is the baseline of the I rows.
BENCH_PACKAGES := python3-scipy

# Installs the Debian packages of list $(1) that are missing, as root.
define install_packages
	@missing=""; \
	for p in $(1); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -z "$$missing" ]; then echo "$@: all packages present."; exit 0; fi; \
	echo "$@: installing$$missing"; \
	if [ "$$(id -u)" -ne 0 ]; then \
	  echo "$@: not root. Run 'sudo make $@' (or: sudo apt-get install$$missing), then try again."; \
	  exit 1; \
	fi; \
	export DEBIAN_FRONTEND=noninteractive; \
	apt-get update -q && apt-get install -y -q --no-install-recommends $$missing
endef

deps:
	$(call install_packages,$(DEB_PACKAGES))

bench-deps: deps
	$(call install_packages,$(BENCH_PACKAGES))

build: deps
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DORBIKON_TESTS=OFF
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	./$(BUILD_DIR)/orbikon

# The test binaries are built apart from the release build, with the address and
# undefined-behaviour sanitizers; the Xvfb runs use that build's application too, so a
# fresh clone compiles once and the desktop runs under the sanitizers.
test: deps
	cmake -S . -B $(TEST_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORBIKON_SANITIZE=ON -DORBIKON_TESTS=ON
	cmake --build $(TEST_DIR) -j $(JOBS)
	cd $(TEST_DIR) && ctest --output-on-failure -j $(JOBS)
	@if [ -x $(TEST_DIR)/orbikon ] && grep -q "ORBIKON_DESKTOP" $(TEST_DIR)/build.ninja; then \
	  bash tests/desktop/xvfb_run.sh $(TEST_DIR) && \
	  bash tests/desktop/xvfb_pictures.sh $(TEST_DIR); \
	else echo "test: no desktop in this build, the Xvfb run is skipped."; fi

# The same test binaries with the thread sanitizer, in their own build; the first race
# report stops its test binary, so a race fails the run. The engine's tests are built but
# not run: the engine has no threads, and its big runs take many minutes under the sanitizer.
# The launch-order check of the no-keys run is left out too: it expects the event thread's
# "applicationDidFinishLaunching: End." before the program thread's first line, which only
# the normal speed of the two threads gives.
tsan: deps
	cmake -S . -B $(TSAN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORBIKON_TSAN=ON -DORBIKON_TESTS=ON
	cmake --build $(TSAN_DIR) -j $(JOBS)
	cd $(TSAN_DIR) && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$(CURDIR)/tests/qt/tsan_suppressions.txt" \
	  ctest --output-on-failure -j $(JOBS) --label-exclude engine \
	    -E 'HeadlessRun.NoKeysShowsPromptAndHelpScreen'

# Every benchmark program, the comparison of the heavy commands with their baselines, then
# the soak run of every command in one process.
bench: bench-deps
	cmake -S . -B $(BENCH_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DORBIKON_TESTS=OFF -DORBIKON_BENCH=ON
	cmake --build $(BENCH_DIR) -j $(JOBS)
	@for b in $(BENCH_DIR)/bench_*; do echo "== $$b"; $$b || exit 1; done
	bench/compare.sh $(BENCH_DIR)
	bench/soak.sh $(BENCH_DIR)

fuzz-deps: deps
	$(call install_packages,$(FUZZ_PACKAGES))

# Each parser's libFuzzer target for FUZZ_SECONDS, under the address and undefined-behaviour
# sanitizers, from the committed seeds; new inputs go to the build tree, findings stop the run.
fuzz: fuzz-deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DORBIKON_TESTS=OFF -DORBIKON_FUZZ=ON
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target $(addprefix fuzz_,$(FUZZ_TARGETS))
	@for t in $(FUZZ_TARGETS); do \
	  mkdir -p $(FUZZ_DIR)/corpus/$$t; \
	  log=$(FUZZ_DIR)/fuzz_$$t.log; \
	  if $(FUZZ_DIR)/fuzz_$$t -max_total_time=$(FUZZ_SECONDS) -timeout=10 -rss_limit_mb=2048 \
	       -close_fd_mask=3 -print_final_stats=1 -artifact_prefix=$(FUZZ_DIR)/$$t- \
	       $(FUZZ_DIR)/corpus/$$t tests/fuzz/corpus/$$t > $$log 2>&1; then \
	    echo "fuzz_$$t: $$(grep -m1 '^stat::number_of_executed_units' $$log | cut -d' ' -f2) runs, no finding."; \
	  else \
	    tail -n 40 $$log; echo "fuzz_$$t: finding, see $$log"; exit 1; \
	  fi; \
	done

clean:
	rm -rf $(BUILD_DIR)
