# The Windows build and the release packages.
#   make windows        cross-build build/windows/tarnovelix.exe (mingw-w64)
#   make windows-test   build it and run every end-to-end case under wine
#   make package        the Windows zip and the .deb, and what each holds
# Missing Debian packages are installed first (apt-get, as root).
WINDOWS_DIR := build/windows
WINDOWS_EXE := $(WINDOWS_DIR)/tarnovelix.exe
PACKAGE_DIR := build/package
# zlib for the cross-compiler (gzip is the one packing the Windows build has),
# and the packers that make the packed inputs of its tests.
WINDOWS_PACKAGES := g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine wine64 \
  gzip bzip2 xz-utils zstd
PACKAGE_TOOLS := man-db bsdextrautils dpkg-dev file unzip

# wine, quiet and self-contained: its own prefix under build/, no debug
# channels, no offer to install Mono or Gecko, and a UTF-8 locale so names
# like mesure_été.dat reach the program intact.
WINE_ENV := WINEDEBUG=-all WINEARCH=win64 WINEPREFIX=$(CURDIR)/build/wine-prefix \
  WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8

# $(call apt_install,packages): installs those not installed yet.
define apt_install
	@need=""; for p in $(1); do \
	  dpkg -s $$p >/dev/null 2>&1 || need="$$need $$p"; \
	done; \
	if [ -n "$$need" ]; then \
	  echo "installing$$need"; \
	  apt-get update -qq; \
	  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
	    --no-install-recommends $$need >/dev/null; \
	fi
endef

.PHONY: windows-deps windows windows-test wine-prefix package package-tools

windows-deps:
	$(call apt_install,$(WINDOWS_PACKAGES))

windows: windows-deps
	cmake --preset windows >/dev/null
	cmake --build --preset windows -j $(JOBS)
	@if x86_64-w64-mingw32-objdump -p $(WINDOWS_EXE) | grep 'DLL Name' \
	    | grep -viE 'DLL Name: (kernel32|msvcrt|shell32)\.dll'; then \
	  echo "$(WINDOWS_EXE) needs a DLL that Windows does not ship"; exit 1; \
	fi

# The first start of wine builds its prefix (a few seconds); later ones reuse it.
wine-prefix: windows-deps
	@if [ ! -f build/wine-prefix/system.reg ]; then \
	  echo "creating the wine prefix build/wine-prefix"; \
	  mkdir -p build; \
	  $(WINE_ENV) wineboot -i >build/wine-prefix.log 2>&1 || \
	    { cat build/wine-prefix.log; exit 1; }; \
	fi

windows-test: windows wine-prefix
	$(WINE_ENV) cmake -DBINARY=$(WINDOWS_EXE) -DSCRATCH=$(WINDOWS_DIR)/e2e \
	  -P cmake/windows-tests.cmake
	$(WINE_ENV) bash tests/fault/interrupt.sh $(WINDOWS_EXE) \
	  $(WINDOWS_DIR)/interrupt wine
	$(WINE_ENV) bash tests/batch/windows_wildcards.sh $(WINDOWS_EXE) \
	  tests/e2e/cases $(WINDOWS_DIR)/batch-wildcards wine
	$(WINE_ENV) bash tests/batch/windows_packed.sh $(WINDOWS_EXE) \
	  tests/e2e/cases $(WINDOWS_DIR)/packed wine

package-tools:
	$(call apt_install,$(PACKAGE_TOOLS))

# The .deb comes from an optimised build of its own, without the tests.
package: windows package-tools
	cmake --build --preset windows -j $(JOBS) --target zip_texts
	cd $(WINDOWS_DIR) && cpack
	cmake --preset release -B $(PACKAGE_DIR) -DTNX_BUILD_TESTS=OFF >/dev/null
	cmake --build $(PACKAGE_DIR) -j $(JOBS)
	cd $(PACKAGE_DIR) && cpack
	@echo; echo "== $(WINDOWS_DIR)/tarnovelix-*.zip"
	@unzip -l $(WINDOWS_DIR)/tarnovelix-*.zip
	@echo "== $(PACKAGE_DIR)/tarnovelix_*.deb"
	@dpkg-deb -f $(PACKAGE_DIR)/tarnovelix_*.deb Package Version Section Depends
	@dpkg-deb -c $(PACKAGE_DIR)/tarnovelix_*.deb
