# Everyday entry points. `make run` and `make test` do all set-up on a
# fresh machine: missing Debian packages are installed first.
BUILD ?= build
JOBS ?= $(shell nproc)
MAP ?= maps/pinewood.map

.PHONY: all deps build server run fleet test clean asan tsan fuzz soak bench lighthouse package

all: build

deps:
	@sh scripts/deps.sh

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

# The server alone: what `make run` and `make fleet` need, no tests,
# fuzzers or benchmarks.
server: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target kindler-server

# The whole game on a real map (maps/pinewood.map, 96 x 64: see the
# README): kept in kindler.state (git ignores it), rounds of 10 minutes.
# `build/kindler-server --state=kindler.state --fresh MAP` resets it.
run: server
	./$(BUILD)/kindler-server --state=kindler.state --round=10m $(MAP)

# A fleet on this machine: a PostgreSQL of its own in a temporary
# directory and three games on three maps; Ctrl-C stops everything.
fleet: server
	sh scripts/fleet.sh $(BUILD)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# Sanitizer passes: any report ends the process that made it, with an
# error status, so the test that ran it fails (tests that run the server
# also look for a report in its standard error).
SANOPTS = halt_on_error=1:abort_on_error=1:print_stacktrace=1
ASANENV = ASAN_OPTIONS=$(SANOPTS):detect_leaks=1:allocator_may_return_null=1:detect_stack_use_after_return=1 \
	UBSAN_OPTIONS=$(SANOPTS)
TSANENV = TSAN_OPTIONS=$(SANOPTS):second_deadlock_stack=1:suppressions=$(CURDIR)/sanitizers/tsan.supp

# The whole suite under AddressSanitizer and UndefinedBehaviorSanitizer.
asan: deps
	@cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKINDLER_SANITIZE=address >/dev/null
	@cmake --build build-asan -j $(JOBS)
	cd build-asan && $(ASANENV) ctest --output-on-failure -j $(JOBS) -LE package

# The end-to-end tests (label server), the world's tests (fires from many
# threads while the tick runs), two games served at once (game) and the
# tick's two threads against the plain tick (tickoracle), under
# ThreadSanitizer.
tsan: deps
	@cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKINDLER_SANITIZE=thread >/dev/null
	@cmake --build build-tsan -j $(JOBS)
	cd build-tsan && $(TSANENV) ctest --output-on-failure -j $(JOBS) -L server
	cd build-tsan && $(TSANENV) ctest --output-on-failure -j $(JOBS) -LE server -R '^(world|tickoracle|game|store|resume)_test$$' --no-tests=ignore

# The fuzzers (clang's libFuzzer, with AddressSanitizer and
# UndefinedBehaviorSanitizer), each run FUZZTIME seconds from its corpus.
# New inputs go to build-fuzz/corpus-<target>, not to the committed corpus.
FUZZTIME ?= 60
FUZZERS = map_fuzz command_fuzz session_fuzz
fuzz: deps
	@CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DKINDLER_SANITIZE=address -DKINDLER_FUZZ=ON >/dev/null
	@cmake --build build-fuzz -j $(JOBS) --target $(FUZZERS)
	@set -e; for f in $(FUZZERS); do \
		mkdir -p build-fuzz/corpus-$$f; \
		echo "== $$f: $(FUZZTIME) s"; \
		$(ASANENV) ./build-fuzz/$$f -max_total_time=$(FUZZTIME) -print_final_stats=1 \
			-artifact_prefix=build-fuzz/crash-$$f- build-fuzz/corpus-$$f fuzz/corpus/$$f; \
	done

# The long soak: 16 clients for SOAKTIME seconds against the real server
# on port 3140, then KILLROUNDS kill -9s of a server with a store, each
# restart restoring it (`scripts/netns make soak` keeps it off the
# machine's ports).
SOAKTIME ?= 60
KILLROUNDS ?= 50
soak: build
	KINDLER_SOAK_SECONDS=$(SOAKTIME) ./$(BUILD)/soak_test
	KINDLER_KILL_ROUNDS=$(KILLROUNDS) ./$(BUILD)/persist_test --gtest_filter='PersistCrash.*'

# The benchmarks (Google Benchmark): the tick, fast and plain, on generated
# worlds, bytes per cell, and the map answers over loopback (in-process, on
# an ephemeral port of 127.0.0.1); ends with a summary table. Pass Google
# Benchmark options with BENCHFLAGS, e.g. BENCHFLAGS=--benchmark_filter=tick.
bench: deps
	@cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build build-bench -j $(JOBS) --target kindler-bench
	./build-bench/kindler-bench $(BENCHFLAGS)

# Lighthouse on the page, mobile and desktop (Debian's chromium), against
# the server on maps/valley.map in a private network namespace: prints the
# scores, leaves the reports in build/lighthouse-*.html. Not part of test.
lighthouse: build
	sh scripts/netns node scripts/lighthouse.mjs ./$(BUILD)/kindler-server maps/valley.map
# The server alone (no tests, tools or their packages) and its Debian
# package: build-server/kindler-server_VERSION_ARCH.deb.
package: deps
	@cmake -S . -B build-server -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKINDLER_SERVER_ONLY=ON >/dev/null
	@cmake --build build-server -j $(JOBS) --target kindler-server
	cd build-server && cpack -G DEB

clean:
	rm -rf build build-*
