# Everyday entry points. `make run` and `make test` do all set-up on a
# fresh machine: missing Debian packages are installed first.
BUILD ?= build
JOBS ?= $(shell nproc)
MAP ?= maps/meadow.map

.PHONY: all deps build run test clean

all: build

deps:
	@sh scripts/deps.sh

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/kindler-server $(MAP)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf build build-*
