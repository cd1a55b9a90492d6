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

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
