# The suite's two commands: `make demo` renders the bundled sample, `make test`
# builds and runs every test. Both install what a fresh machine lacks first.
JOBS ?= 2
BUILD ?= build
CMAKE_FLAGS ?=
PREFIX ?= /usr/local
# What the demo and an install need: the libraries and programs alone.
DEMO_TARGETS = xrwview makephantom maketracks makesurface
INSTALL_TARGETS = vqscene vqwin xrwview pointsdemo paneldemo

.PHONY: all deps build test demo install sanitize fuzz fuzz-ci bench clean

all: build

deps:
	@sh tools/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD) -j$(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)

demo:
	@sh tools/install-deps.sh demo
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD) -j$(JOBS) --target $(DEMO_TARGETS)
	sh tools/demo.sh $(BUILD)

# The header, libraries, programs, vqscene.pc and the CMake package under PREFIX.
install: deps
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD) -j$(JOBS) --target $(INSTALL_TARGETS)
	cmake --install $(BUILD) --prefix $(PREFIX)

# The same tests under AddressSanitizer and UndefinedBehaviorSanitizer.
# The sanitizers' record of dynamic TLS can come out corrupt with the GL
# driver's threads (the leak checker then crashes at exit), so it is off;
# leaks are still found through the heap, stacks and static TLS.
sanitize: deps
	@cmake -S . -B build-asan -DVQ_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
	@cmake --build build-asan -j$(JOBS)
	LD_PRELOAD=$(CURDIR)/build-asan/lib/libkeep_libraries.so \
	ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:verify_asan_link_order=0:intercept_tls_get_addr=0 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tools/lsan.supp:print_suppressions=0 \
	UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	ctest --test-dir build-asan --output-on-failure -j$(JOBS)

# Every fuzz target for FUZZ_SECONDS each (libFuzzer, clang).
FUZZ_SECONDS ?= 60
fuzz: deps
	@CC=clang CXX=clang++ cmake -S . -B build-fuzz -DVQ_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build build-fuzz -j$(JOBS) --target fuzz_all
	sh tools/run-fuzz.sh build-fuzz $(FUZZ_SECONDS)

bench: build
	sh bench/run.sh $(BUILD)

clean:
	rm -rf build build-asan build-fuzz
