#!/bin/sh
# registration.sh register|unregister MODULE: regsvr32 (or regsvr32 /u) on MODULE, then the registry
# must hold (or no longer hold) the filter's class, the page's class and the filter mapper's entry.
set -u
action=$1
module=$(winepath -w "$2")
filter='{13E1554D-A79F-4D21-BAA4-AFD0FF70F357}'
page='{33B3C363-A8EC-49DF-94E1-775EC9F71F6E}'
# Filters registered without a category go to the legacy DirectShow filter category.
legacy='{083863F1-70DE-11D0-BD40-00A0C911CE86}'
keys="HKCR\\CLSID\\$filter\\InprocServer32 HKCR\\CLSID\\$page\\InprocServer32 HKCR\\CLSID\\$legacy\\Instance\\$filter"

if [ "$action" = register ]; then
    wine regsvr32 /s "$module" || { echo "regsvr32 failed: $?"; exit 1; }
    want=0
else
    wine regsvr32 /u /s "$module" || { echo "regsvr32 /u failed: $?"; exit 1; }
    want=1
fi
failed=0
for key in $keys; do
    if wine reg query "$key" >/dev/null 2>&1; then have=0; else have=1; fi
    if [ $have -ne $want ]; then
        echo "after $action: $key is $( [ $have -eq 0 ] && echo present || echo missing )"
        failed=1
    fi
done
[ "$action" = register ] && wine reg query "HKCR\\CLSID\\$filter\\InprocServer32" /ve 2>/dev/null | tr -d '\r' | grep -F -q "quenlix.ax" ||
    { [ "$action" = unregister ] || { echo "InprocServer32 does not name quenlix.ax"; failed=1; }; }
[ $failed -eq 0 ] && echo "$action: filter, page and filter-mapper entry as expected"
exit $failed
