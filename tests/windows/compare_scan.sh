#!/bin/sh
# compare_scan.sh WINDOWS_QUENLIX LINUX_QUENLIX FILE: both programs' scans of FILE, as text and as JSON,
# must agree line for line, apart from line ends and the path of the module each one used.
set -u
win=$1 linux=$2 file=$3
if [ -z "$linux" ] || [ ! -x "$linux" ]; then
    echo "no Linux quenlix to compare with (configure with -DQUENLIX_LINUX_QUENLIX=...)"
    exit 1
fi
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
status=0
for mode in "" --json; do
    # The JSON report is one line: only the module's path is taken out of it.
    wine "$win" scan $mode "$file" | tr -d '\r' | sed 's/"filter_module":"[^"]*"/"filter_module":""/' \
        >"$out/win" || status=1
    "$linux" scan $mode "$file" | sed 's/"filter_module":"[^"]*"/"filter_module":""/' >"$out/linux" || status=1
    if [ ! -s "$out/linux" ]; then
        echo "scan ${mode:-(text)}: the Linux build printed nothing"
        status=1
    fi
    if ! diff -u "$out/linux" "$out/win"; then
        echo "scan ${mode:-(text)}: the Windows build differs"
        status=1
    fi
done
[ $status -eq 0 ] && echo "scan and scan --json: the Windows build prints what the Linux build prints"
exit $status
