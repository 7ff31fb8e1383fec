# SPDX-License-Identifier: GPL-3.0-or-later
# make        build only
# make test   install what is missing, build, run every test (SANITIZE=1: address + UB;
#             WERROR=1: every compiler warning is an error, as CI builds)
# make demo   install, build, clone on a simulated machine under build/demo
# make bench  install, build, compare the clone with dd
# make install / make uninstall   into PREFIX (default /usr/local); DESTDIR stages the tree
# make screenshots   the dialogs under Xvfb on a simulated machine: build/screenshots/*.png
# make run    Vantrel on the demo machine of make demo (needs a display)
# make deb    the Debian package, checked with lintian: build/deb/vantrel_VERSION_ARCH.deb
# make test-package   make deb, then install, use and purge it in a fresh Debian 12 root
#             (the root is made once with mmdebstrap and kept in /var/cache/vantrel-tests)
# make vm-test   make deb, then that package installed on a Debian 12 virtual machine under
#                QEMU: the boot-time clone, and a start from the menu in a Wayland and an
#                X11 session, and Keldrun's slow mode timed on tty1 (not in make test;
#                SCENARIOS="plain fstab unopenable console wayland x11" by default; skips
#                without QEMU)
BUILD_DIR := $(if $(SANITIZE),build-sanitize,build)
CMAKE_FLAGS := -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON $(if $(SANITIZE),-DVANTREL_SANITIZE=ON) \
	-DVANTREL_WERROR=$(if $(WERROR),ON,OFF)
PREFIX ?= /usr/local

.PHONY: all deps configure build test demo bench install uninstall screenshots run deb test-package vm-test clean

all: build

deps:
	@scripts/install-deps

configure:
	@cmake -S . -B $(BUILD_DIR) $(CMAKE_FLAGS) -DCMAKE_INSTALL_PREFIX=$(PREFIX) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j2

# The package test needs a package and a Debian root: make test-package.
test: deps build
	@cd $(BUILD_DIR) && ctest --output-on-failure -j2 --timeout 300 -LE package

demo: deps build
	@scripts/demo.sh $(BUILD_DIR)

bench: deps build
	@scripts/bench.sh $(BUILD_DIR)

screenshots: deps build
	@scripts/screenshots.sh $(BUILD_DIR)

run: build
	@scripts/run.sh $(BUILD_DIR)

vm-test: deps
	@scripts/vm-test.sh $(BUILD_DIR) $(SCENARIOS)

install: build
	@cmake --install $(BUILD_DIR)

uninstall: configure
	@cmake --build $(BUILD_DIR) --target uninstall

deb:
	@scripts/make-deb.sh $(BUILD_DIR)

test-package: deps build deb
	@scripts/make-test-root.sh $(BUILD_DIR)/deb
	@cd $(BUILD_DIR) && ctest --output-on-failure --timeout 900 -L package

clean:
	rm -rf build build-sanitize
