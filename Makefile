# make test: install what is missing, build, run the suite, then run it again
# under AddressSanitizer and UndefinedBehaviorSanitizer.
# make demo: install what is missing, build, run the ravelin command on
# examples/sample-tree.
BUILD ?= build
SANITIZE_BUILD ?= build-sanitize
JOBS ?= $(shell nproc)

.PHONY: all deps build test test-sanitize bench demo clean

all: build

deps:
	@sh tools/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j$(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)
	$(MAKE) test-sanitize

test-sanitize: deps
	cmake -S . -B $(SANITIZE_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRAVELIN_SANITIZE=ON \
	  -DRAVELIN_BUILD_TOOLS=OFF -DRAVELIN_PACKAGE_TESTS=OFF
	cmake --build $(SANITIZE_BUILD) -j$(JOBS)
	ctest --test-dir $(SANITIZE_BUILD) --output-on-failure -j$(JOBS)

bench: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DRAVELIN_BUILD_BENCH=ON
	cmake --build $(BUILD) -j$(JOBS)

demo: build
	@sh examples/demo.sh $(BUILD)/tools/ravelin/ravelin

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD)
