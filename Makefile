# Orbikon: the two commands a newcomer needs are `make run` and `make test`.

# Every Debian 12 package the project needs to build, test and run.
DEB_PACKAGES := build-essential cmake ninja-build pkg-config \
                libgtest-dev libgmock-dev libbenchmark-dev \
                liblapack-dev libfreetype-dev fonts-dejavu-core \
                libpng-dev zlib1g-dev

BUILD_DIR := build
TEST_DIR := build/sanitize
TSAN_DIR := build/tsan
BENCH_DIR := build/bench
JOBS ?= $(shell nproc)

.PHONY: all deps build run test tsan bench clean

all: build

deps:
	@missing=""; \
	for p in $(DEB_PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -z "$$missing" ]; then echo "deps: all packages present."; exit 0; fi; \
	echo "deps: installing$$missing"; \
	if [ "$$(id -u)" -ne 0 ]; then \
	  echo "deps: not root. Run 'sudo make deps' (or: sudo apt-get install$$missing), then try again."; \
	  exit 1; \
	fi; \
	export DEBIAN_FRONTEND=noninteractive; \
	apt-get update -q && apt-get install -y -q --no-install-recommends $$missing

build: deps
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DORBIKON_TESTS=OFF
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	./$(BUILD_DIR)/orbikon

# The test binaries are built apart from the release build, with the address and
# undefined-behaviour sanitizers.
test: build
	cmake -S . -B $(TEST_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORBIKON_SANITIZE=ON -DORBIKON_TESTS=ON
	cmake --build $(TEST_DIR) -j $(JOBS)
	cd $(TEST_DIR) && ctest --output-on-failure -j $(JOBS)

# The same test binaries with the thread sanitizer, in their own build; the first race
# report stops its test binary, so a race fails the run. The engine's tests are built but
# not run: the engine has no threads, and its big runs take many minutes under the sanitizer.
# The launch-order check of the no-keys run is left out too: it expects the event thread's
# "applicationDidFinishLaunching: End." before the program thread's first line, which only
# the normal speed of the two threads gives.
tsan: deps
	cmake -S . -B $(TSAN_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORBIKON_TSAN=ON -DORBIKON_TESTS=ON
	cmake --build $(TSAN_DIR) -j $(JOBS)
	cd $(TSAN_DIR) && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
	  ctest --output-on-failure -j $(JOBS) --label-exclude engine \
	    -E 'HeadlessRun.NoKeysShowsPromptAndHelpScreen'

bench: deps
	cmake -S . -B $(BENCH_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DORBIKON_TESTS=OFF -DORBIKON_BENCH=ON
	cmake --build $(BENCH_DIR) -j $(JOBS)
	@for b in $(BENCH_DIR)/bench_*; do echo "== $$b"; $$b || exit 1; done

clean:
	rm -rf $(BUILD_DIR)
