# Two commands set everything up on a fresh Debian machine: `make run` and `make test`.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps configure build run test asan fuzz bench clean format screenshots

all: build

deps:
	@bash scripts/install-deps

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

configure: deps $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# Exports the bundled sample scene to a .zef file and prints its block tree.
run: build
	$(BUILD)/bin/vorlan export samples/sample.vscene $(BUILD)/sample.zef --yes
	$(BUILD)/bin/vorlan inspect $(BUILD)/sample.zef

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

asan: deps
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVORLAN_SANITIZE=ON -DVORLAN_BENCH=OFF
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ctest --output-on-failure -j $(JOBS)

fuzz: deps
	cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
	  -DVORLAN_FUZZ=ON -DVORLAN_TESTS=OFF -DVORLAN_BENCH=OFF
	cmake --build build-fuzz -j $(JOBS)

bench: build
	@for b in $(BUILD)/bench/*_bench; do echo "== $$b"; $$b; done

# The documentation's pictures of the desktop workbench, as the window tests draw them.
screenshots: build
	$(BUILD)/tests/test_desktop > /dev/null
	mkdir -p docs/images
	cp $(BUILD)/screenshots/*.png docs/images/

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD) build-asan build-fuzz
