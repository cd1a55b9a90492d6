#!/usr/bin/env bash
# Installs the Debian packages the build needs, and only those that are missing.
set -euo pipefail
# Builds running side by side must not fight over dpkg's lock.
exec 9>/tmp/quenlix-apt.lock
flock 9

packages=(cmake ninja-build g++ make libgtest-dev libgmock-dev libbenchmark-dev tmux ccache)
# --- side-by-side benchmark (owned by bench): libdvbpsi, found through pkg-config ---
packages+=(libdvbpsi-dev pkgconf)
# The fuzz targets: clang with its libFuzzer and sanitizer run times.
packages+=(clang libclang-rt-14-dev)
# --- quenlix program (owned by cli) ---
packages+=(libcli11-dev libncurses-dev nlohmann-json3-dev)
# --- (si) the tests validate the scan's JSON against docs/scan-output.schema.json ---
packages+=(python3-jsonschema)

# --- installed-tree check (owned by install): examples through pkg-config, the .deb's dependencies ---
packages+=(pkg-config dpkg-dev)
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

# --- Windows (owned by the Windows build) ---
# The cross compilers, Wine and an X server for the Windows stage; googletest's sources to build for
# Windows. Installed apart: if they cannot be, the Linux stages still run and the Windows stage fails
# and says why.
windows_packages=(g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine wine64 xvfb xauth icoutils zip googletest fonts-wine)
windows_missing=()
for p in "${windows_packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    windows_missing+=("$p")
  fi
done
# --- end of Windows ---

if [ ${#missing[@]} -eq 0 ] && [ ${#windows_missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
if [ ${#missing[@]} -ne 0 ]; then
  echo "installing: ${missing[*]}"
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
if [ ${#windows_missing[@]} -ne 0 ]; then
  echo "installing (Windows stage): ${windows_missing[*]}"
  $SUDO apt-get install -y -qq --no-install-recommends "${windows_missing[@]}" ||
    echo "install-deps: the Windows stage's packages could not be installed" >&2
fi
