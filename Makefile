# Orbikon: the two commands a newcomer needs are `make run` and `make test`.

# Every Debian 12 package the project needs to build, test and run.
DEB_PACKAGES := build-essential cmake ninja-build pkg-config \
                libgtest-dev libgmock-dev libbenchmark-dev \
                liblapack-dev libfreetype-dev fonts-dejavu-core \
                libpng-dev zlib1g-dev \
                qt6-base-dev libgl-dev libasound2-dev \
                xvfb xauth xdotool xclip x11-apps imagemagick python3

BUILD_DIR := build
TEST_DIR := build/sanitize
BENCH_DIR := build/bench
JOBS ?= $(shell nproc)

.PHONY: all deps build run test bench clean

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
	@if [ -x $(BUILD_DIR)/orbikon ] && grep -q "ORBIKON_DESKTOP" $(BUILD_DIR)/build.ninja; then \
	  bash tests/desktop/xvfb_run.sh $(BUILD_DIR); \
	else echo "test: no desktop in this build, the Xvfb run is skipped."; fi

bench: deps
	cmake -S . -B $(BENCH_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DORBIKON_TESTS=OFF -DORBIKON_BENCH=ON
	cmake --build $(BENCH_DIR) -j $(JOBS)
	@for b in $(BENCH_DIR)/bench_*; do echo "== $$b"; $$b || exit 1; done

clean:
	rm -rf $(BUILD_DIR)
