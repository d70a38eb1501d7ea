# Convenience targets; the build itself is CMake's.
BUILD_DIR ?= build
SAN_DIR ?= build-sanitize
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all build test sanitize-test demo clean format

all: build

CONFIGURE = cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo

# tools/setup.sh installs what each target needs and the machine lacks (or says how to).
build:
	$(CONFIGURE)
	cmake --build $(BUILD_DIR) -j $(JOBS)

test:
	tools/setup.sh test
	$(CONFIGURE) -DQV_BUILD_TESTS=ON
	cmake --build $(BUILD_DIR) -j $(JOBS)
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

sanitize-test:
	tools/setup.sh test
	cmake -S . -B $(SAN_DIR) -DCMAKE_BUILD_TYPE=Debug -DQV_SANITIZE=ON -DQV_BUILD_TESTS=ON
	cmake --build $(SAN_DIR) -j $(JOBS)
	cd $(SAN_DIR) && ctest --output-on-failure -j $(JOBS)

# The demo launcher finds this machine's JDK and runs the Hello application with two arguments.
# It needs no GoogleTest: the tests are left out of this build.
demo:
	tools/setup.sh demo
	$(CONFIGURE) -DQV_BUILD_TESTS=OFF
	cmake --build $(BUILD_DIR) -j $(JOBS)
	$(BUILD_DIR)/examples/hello/hello.bin "two words" second

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD_DIR) $(SAN_DIR)
