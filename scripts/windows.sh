#!/usr/bin/env bash
# The Windows build: quenlix.ax and quenlix.exe cross-built with mingw-w64, tested under Wine.
#
#   scripts/windows.sh test LINUX_QUENLIX   the Windows stage of `make test`
#   scripts/windows.sh package              quenlix-win64.zip and quenlix-win32.zip
#
# Build folders: build-win64 and build-win32 (WIN64_BUILD, WIN32_BUILD), each with its own Wine prefix.
set -uo pipefail
cd "$(dirname "$0")/.."
JOBS=${JOBS:-$(nproc)}
WIN64_BUILD=${WIN64_BUILD:-build-win64}
WIN32_BUILD=${WIN32_BUILD:-build-win32}
PRODUCTS=(quenlix_ax quenlix)

die() {
    echo "windows: $*" >&2
    echo "windows: 0 passed, 1 failed"
    exit 1
}

need() {
    for tool in "$@"; do
        command -v "$tool" >/dev/null || die "$tool is not installed (scripts/install-deps.sh installs the Windows tools; it could not)"
    done
}

# configure ARCH DIR [cmake options...]
configure() {
    local arch=$1 dir=$2
    shift 2
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-$arch.cmake" -DQUENLIX_BENCH=OFF "$@" >/dev/null ||
        die "cannot configure the $arch build"
}

# check_image DLL OBJDUMP: the five entry points exported and the page's dialog and strings inside.
check_image() {
    local dll=$1 objdump=$2 missing=0
    local exports
    exports=$("$objdump" -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p')
    for name in DllCanUnloadNow DllGetClassObject DllMain DllRegisterServer DllUnregisterServer; do
        grep -q "\] $name\$" <<<"$exports" || { echo "$dll: $name is not exported"; missing=1; }
    done
    [ "$(grep -c '^\s*\[ *[0-9]*\] ' <<<"$exports")" -eq 5 ] || { echo "$dll: exports other than the five"; missing=1; }
    # The dialog (RT_DIALOG 5, IDD_SERVICE_INFORMATION 107) and the string table block holding
    # IDS_SERVICE_INFORMATION_TITLE 100 (RT_STRING 6, block 100/16+1 = 7).
    local resources
    resources=$(wrestool -l "$dll")
    grep -q -- '--type=5 --name=107 ' <<<"$resources" || { echo "$dll: no page dialog"; missing=1; }
    grep -q -- '--type=6 --name=7 ' <<<"$resources" || { echo "$dll: no page title string"; missing=1; }
    return $missing
}

case "${1:-}" in
test)
    linux_quenlix=$(realpath "${2:?the Linux quenlix program}")
    need x86_64-w64-mingw32-g++-posix i686-w64-mingw32-g++-posix wine wineboot xvfb-run wrestool
    passed=0
    failed=0

    configure x86_64 "$WIN64_BUILD" -DQUENLIX_TESTS=ON -DQUENLIX_LINUX_QUENLIX="$linux_quenlix"
    cmake --build "$WIN64_BUILD" -j "$JOBS" --target "${PRODUCTS[@]}" com_client test_tables test_decode \
        test_atsc test_query test_host test_si test_report || die "the 64-bit build failed"
    # One X server for the whole run: the page opens in a real window.
    log=$(mktemp)
    (cd "$WIN64_BUILD" && xvfb-run -a -s "-screen 0 1024x768x24" ctest --output-on-failure -j 1) | tee "$log"
    p=$(sed -n 's/.* tests passed, \([0-9]*\) tests failed out of \([0-9]*\).*/\2 \1/p' "$log")
    rm -f "$log"
    if [ -n "$p" ]; then
        set -- $p
        passed=$((passed + $1 - $2))
        failed=$((failed + $2))
    else
        failed=$((failed + 1))
    fi
    if check_image "$WIN64_BUILD/tools/quenlix.ax" x86_64-w64-mingw32-objdump; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
    fi
    if [ -f "$WIN64_BUILD/page-screenshot.bmp" ]; then
        echo "windows: the page as Wine drew it: $WIN64_BUILD/page-screenshot.bmp"
    fi

    # The 32-bit module: run under Wine where Debian's wine32 is installed, otherwise checked.
    configure i686 "$WIN32_BUILD" -DQUENLIX_TESTS=OFF
    if cmake --build "$WIN32_BUILD" -j "$JOBS" --target "${PRODUCTS[@]}" &&
        check_image "$WIN32_BUILD/tools/quenlix.ax" i686-w64-mingw32-objdump; then
        passed=$((passed + 1))
        if dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed'; then
            if WINEPREFIX="$PWD/$WIN32_BUILD/wineprefix" WINEDEBUG=-all WINEARCH=win32 \
                sh tests/windows/compare_scan.sh "$WIN32_BUILD/tools/quenlix.exe" "$linux_quenlix" \
                samples/quenlix-sample.ts; then
                passed=$((passed + 1))
            else
                failed=$((failed + 1))
            fi
        else
            echo "windows: wine32 (i386) is not installed: the 32-bit quenlix.ax was checked for its five exports and its resources, not run"
        fi
    else
        echo "windows: the 32-bit build or its check failed"
        failed=$((failed + 1))
    fi
    echo "windows: $passed passed, $failed failed"
    [ "$failed" -eq 0 ]
    ;;
package)
    need x86_64-w64-mingw32-g++-posix i686-w64-mingw32-g++-posix zip
    for pair in "x86_64 $WIN64_BUILD win64" "i686 $WIN32_BUILD win32"; do
        set -- $pair
        configure "$1" "$2" -DQUENLIX_TESTS=OFF
        cmake --build "$2" -j "$JOBS" --target "${PRODUCTS[@]}" || die "the $1 build failed"
        stage=$(mktemp -d)
        mkdir -p "$stage/include"
        cp "$2/tools/quenlix.ax" "$2/tools/quenlix.exe" "$stage/"
        cp include/quenlix.h "$stage/include/"
        # Debug information stays in the build folder.
        "$1-w64-mingw32-strip" "$stage/quenlix.ax" "$stage/quenlix.exe" || die "strip failed"
        rm -f "quenlix-$3.zip"
        (cd "$stage" && zip -q -r "$OLDPWD/quenlix-$3.zip" quenlix.ax quenlix.exe include/quenlix.h) || die "zip failed"
        rm -rf "$stage"
        echo "quenlix-$3.zip"
    done
    ;;
*)
    echo "usage: scripts/windows.sh test LINUX_QUENLIX | package" >&2
    exit 1
    ;;
esac
