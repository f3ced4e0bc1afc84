# make test: install what is missing, build, run the suite, then run it again
# under AddressSanitizer and UndefinedBehaviorSanitizer, then run the
# threaded tests under ThreadSanitizer.
# make demo: install what is missing, build, run the ravelin command on
# examples/sample-tree.
# make lint: the include graph, clang-tidy and clang-format over the sources
# (see CONTRIBUTING.md).
# make package: Debian packages with CPack.
BUILD ?= build
SANITIZE_BUILD ?= build-sanitize
THREAD_BUILD ?= build-thread
JOBS ?= $(shell nproc)
# The public-interface tests the ThreadSanitizer build runs after the threaded
# stress test (all of them take under a minute there; narrow with a gtest
# filter if they grow).
THREAD_TESTS ?= *

.PHONY: all deps build test test-sanitize test-thread lint package bench demo clean

all: build

deps:
	@sh tools/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_EXPORT_COMPILE_COMMANDS=ON
	cmake --build $(BUILD) -j$(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)
	$(MAKE) test-sanitize
	$(MAKE) test-thread

test-sanitize: deps
	cmake -S . -B $(SANITIZE_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRAVELIN_SANITIZE=ON \
	  -DRAVELIN_BUILD_TOOLS=OFF -DRAVELIN_PACKAGE_TESTS=OFF
	cmake --build $(SANITIZE_BUILD) -j$(JOBS)
	ctest --test-dir $(SANITIZE_BUILD) --output-on-failure -j$(JOBS)

# Only the threads library and the tests linked against it are built and run:
# ThreadSanitizer slows everything down several times over.
test-thread: deps
	cmake -S . -B $(THREAD_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRAVELIN_SANITIZE=thread \
	  -DRAVELIN_BUILD_TOOLS=OFF -DRAVELIN_PACKAGE_TESTS=OFF
	cmake --build $(THREAD_BUILD) -j$(JOBS) --target ravelin_threads_test ravelin_tests
	TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" $(THREAD_BUILD)/tests/ravelin_threads_test
	TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" RAVELIN_LIBRARY=ravelin \
	  $(THREAD_BUILD)/tests/ravelin_tests --gtest_filter='$(THREAD_TESTS)'

# The include graph of src/ (tools/check-includes.sh: no folder includes one
# on its own floor or above), clang-tidy over the sources of the main build
# (its compile_commands.json), then clang-format as a check only: nothing is
# rewritten.
LINT_DIRS = src include tools tests bench
CLANG_TIDY_RUNNER ?= run-clang-tidy
CLANG_FORMAT ?= clang-format
lint: build
	sh tools/check-includes.sh
	$(CLANG_TIDY_RUNNER) -quiet -p $(BUILD) -j$(JOBS) '$(CURDIR)/(src|tools|tests|bench)/.*\.cpp$$'
	find $(LINT_DIRS) \( -name '*.cpp' -o -name '*.h' \) -print | sort | \
	  xargs $(CLANG_FORMAT) --dry-run -Werror

# Debian packages in $(BUILD)/packages: libravelin2, libravelin-dev, ravelin.
package: build
	cpack --config $(BUILD)/CPackConfig.cmake -B $(BUILD)/packages

bench:
	@sh tools/install-deps.sh bench
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DRAVELIN_BUILD_BENCH=ON
	cmake --build $(BUILD) -j$(JOBS)

demo: build
	@sh examples/demo.sh $(BUILD)/tools/ravelin/ravelin

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(THREAD_BUILD)
