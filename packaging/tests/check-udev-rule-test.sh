#!/usr/bin/env bash
# The udev rule check accepts a sound rules file and the rule the package
# ships, and rejects each broken sample for the reason its first line names
# ("# expect: <message>").
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
check=$here/../check-udev-rule.sh
failures=0
for good in "$here/udev/good.rules" "$here/../../data/udev/60-vexal-hub.rules"; do
    if ! bash "$check" "$good"; then
        echo "FAIL: $(basename "$good") rejected" >&2
        failures=$((failures + 1))
    fi
done
for f in "$here"/udev/bad-*.rules; do
    expected=$(sed -n '1s/^# expect: //p' "$f")
    if out=$(bash "$check" "$f" 2>&1); then
        echo "FAIL: $(basename "$f") accepted" >&2
        failures=$((failures + 1))
    elif [[ $out != *"$expected"* ]]; then
        echo "FAIL: $(basename "$f"): wanted '$expected', got: $out" >&2
        failures=$((failures + 1))
    fi
done
[ $failures -eq 0 ] && echo "udev rule check: good sample and shipped rule accepted, $(find "$here/udev" -name 'bad-*.rules' | wc -l) broken samples rejected"
exit $((failures != 0))
