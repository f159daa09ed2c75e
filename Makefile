# Tessera: the two commands are `make demo` and `make test`.
# Each installs what the machine lacks, configures and builds (Release) first.

BUILD      ?= build
SAN_BUILD  ?= build-sanitize
GENERATOR   = $(shell command -v ninja >/dev/null 2>&1 && echo Ninja || echo "Unix Makefiles")
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all deps build test demo bench sanitize fuzz hostile clean qgis-plugin

all: build

deps:
	@./scripts/install-deps.sh

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -G "$(GENERATOR)" -DCMAKE_BUILD_TYPE=Release

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

demo: build
	./scripts/demo.sh $(BUILD)

bench: build
	./scripts/bench.sh $(BUILD)

sanitize: deps
	cmake -S . -B $(SAN_BUILD) -G "$(GENERATOR)" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSERA_SANITIZE=ON
	cmake --build $(SAN_BUILD) -j $(JOBS)
	cd $(SAN_BUILD) && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

# libFuzzer targets for the file readers (.acf, .cif, .aif, .svm), built with clang,
# AddressSanitizer and UBSan: every truncation of each seed, then FUZZ_SECONDS each.
FUZZ_BUILD   ?= build-fuzz
FUZZ_SECONDS ?= 20
fuzz:
	@./scripts/install-deps.sh fuzz
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G "$(GENERATOR)" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSERA_FUZZ=ON
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target tessera_fuzzers
	./scripts/fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# The QGIS Processing provider, into the user's default QGIS profile.
qgis-plugin:
	./scripts/install-qgis-plugin.sh

# The built tool under hostile invocations, signals, a full disk and concurrent runs:
# a table of tries, passes and failures per category (the fuzzed formats: make fuzz).
HOSTILE_ROUNDS ?= 10
hostile: build
	./scripts/hostile.sh $(BUILD) $(HOSTILE_ROUNDS)

clean:
	rm -rf $(BUILD) $(SAN_BUILD) $(FUZZ_BUILD)
