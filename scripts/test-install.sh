#!/usr/bin/env bash
# Installs a build into a scratch prefix and uses it as an application developer would: the program
# from there, the examples built against it with CMake and with pkg-config, then the Debian package
# unpacked into a scratch root. Nothing here looks into the build folder except to install from it.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
scratch=$(mktemp -d "${TMPDIR:-/tmp}/quenlix-install.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

fail() {
  echo "test-install: $*" >&2
  exit 1
}

prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
export QUENLIX_REGISTRY=$scratch/registry.reg
sample=$prefix/share/quenlix/quenlix-sample.ts
[ -f "$sample" ] || fail "the sample is not installed"

# Unregistered, the program finds quenlix.ax at its installed place.
"$prefix/bin/quenlix" scan --json "$sample" >"$scratch/scan.json" || fail "quenlix scan from the installed tree failed"
grep -q "\"filter_module\": *\"$prefix/lib[^\"]*/quenlix/quenlix.ax\"" "$scratch/scan.json" ||
  fail "the scan did not use the installed module"
# Registration from there, so that applications find the filter by its class.
"$prefix/bin/quenlix" register >/dev/null || fail "quenlix register from the installed tree failed"
"$prefix/bin/quenlix" registry | grep -q "InprocServer32: *$prefix/lib.*/quenlix/quenlix.ax$" ||
  fail "the registry does not name the installed module"

# Each example run over the sample; the expected lines come from what the sample multiplex holds.
check_examples() {
  local dir=$1
  "$dir/list_services" "$sample" >"$scratch/list.txt" || fail "$dir/list_services failed"
  grep -q "^SDT (complete)" "$scratch/list.txt" || fail "list_services: no complete SDT"
  [ "$(grep -c '^  service 0x' "$scratch/list.txt")" -eq 3 ] || fail "list_services: not three services"
  [ "$(grep -c '^  program ' "$scratch/list.txt")" -eq 5 ] || fail "list_services: not five programs"
  grep -q "stream_type 0x.. on PID" "$scratch/list.txt" || fail "list_services: no PMT streams"
  "$dir/wait_psi" "$sample" >"$scratch/wait.txt" || fail "$dir/wait_psi failed"
  [ "$(grep -c 'stream(s)$' "$scratch/wait.txt")" -eq 5 ] || fail "wait_psi: not five complete programs"
  if [ -x "$dir/now_next" ]; then
    "$dir/now_next" "$sample" >"$scratch/now_next.txt" || fail "$dir/now_next failed"
    [ "$(grep -c '^  now : [0-9]' "$scratch/now_next.txt")" -eq 3 ] || fail "now_next: not an event now on three services"
  fi
}

# Against the package config. The examples are small: no ccache, one job.
cmake -S examples -B "$scratch/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$scratch/cmake" >/dev/null
check_examples "$scratch/cmake"

# Against the pkg-config file.
mkdir -p "$scratch/pkg-config"
PKG_CONFIG_PATH=$(dirname "$(find "$prefix" -name quenlix.pc)") make -s -C examples OUT="$scratch/pkg-config"
check_examples "$scratch/pkg-config"

# The Debian package, unpacked into a scratch root: the program runs from there.
(cd "$build" && cpack -G DEB >/dev/null) || fail "cpack failed"
deb=$(ls -t "$build"/quenlix_*.deb | head -n 1)
dpkg-deb --info "$deb" | grep -q "Version: $(sed -n 's/^project(quenlix VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)" ||
  fail "the package does not carry the project's version"
dpkg -x "$deb" "$scratch/root"
rm -f "$QUENLIX_REGISTRY"
root=$scratch/root/usr
"$root/bin/quenlix" scan --json "$root/share/quenlix/quenlix-sample.ts" >"$scratch/deb-scan.json" ||
  fail "quenlix scan from the unpacked package failed"
grep -q "\"filter_module\": *\"$root/lib[^\"]*/quenlix/quenlix.ax\"" "$scratch/deb-scan.json" ||
  fail "the unpacked program did not use its own module"
# Apart from where the sample and the module lie, the same report as from the installed tree.
cmp -s <(sed "s|$prefix/|ROOT/|g" "$scratch/scan.json") <(sed "s|$root/|ROOT/|g" "$scratch/deb-scan.json") ||
  fail "the packaged program scans the sample differently"
echo "test-install: installed tree, examples (CMake, pkg-config) and $(basename "$deb") pass"
