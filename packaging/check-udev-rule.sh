#!/usr/bin/env bash
# Parse check of a udev rules file where `udevadm verify` is not available:
# every rule is a comma-separated list of KEY[{attr}] OP "value" with a known
# key and an operator that key takes, GOTO targets exist, and at least one rule
# gives the seated user devices by vendor ID (TAG+="uaccess"), on the usb
# subsystem (matched in that rule or skipped to by an earlier one), and at
# least one keeps ModemManager away from devices of a vendor ID
# (ENV{ID_MM_DEVICE_IGNORE}="1"), so its probe never writes into a hub's line.
# Vendor and product IDs must be four lower-case hex digits: sysfs spells them
# so, and udev compares exactly, so "5A4D" would never match.
#   usage: packaging/check-udev-rule.sh FILE
set -uo pipefail

file=${1:?usage: $0 FILE}
[ -r "$file" ] || { echo "$file: cannot read" >&2; exit 1; }

match_only=" ACTION DEVPATH KERNEL KERNELS SUBSYSTEM SUBSYSTEMS DRIVER DRIVERS ATTRS TAGS TEST PROGRAM RESULT CONST DEVTYPE "
assign_only=" OWNER GROUP MODE SECLABEL RUN LABEL GOTO IMPORT OPTIONS "
either=" NAME SYMLINK ATTR SYSCTL ENV TAG "
token_re='^[[:space:]]*([A-Z_]+)(\{[^}]*\})?[[:space:]]*(==|!=|\+=|-=|:=|=)[[:space:]]*"(([^"\\]|\\.)*)"[[:space:]]*(,|$)'

errors=0
err() { echo "$file:$1: $2" >&2; errors=$((errors + 1)); }
labels=" "
gotos=()
uaccess_vendor=0
mm_ignore_vendor=0
usb=0
lineno=0
rule=""
start=0

check_rule() {  # LINE_NUMBER TEXT
    local n=$1 rest=$2 key attr op value matches=0 uaccess=0 vendor=0 mm_ignore=0
    while [ -n "${rest//[[:space:]]/}" ]; do
        if [[ ! $rest =~ $token_re ]]; then
            err "$n" "cannot parse '${rest}'"
            return
        fi
        key=${BASH_REMATCH[1]} attr=${BASH_REMATCH[2]} op=${BASH_REMATCH[3]} value=${BASH_REMATCH[4]}
        rest=${rest:${#BASH_REMATCH[0]}}
        local is_match=0
        [ "$op" = "==" ] || [ "$op" = "!=" ] && is_match=1
        if [[ $match_only == *" $key "* ]]; then
            [ $is_match = 1 ] || err "$n" "$key takes only == or !="
        elif [[ $assign_only == *" $key "* ]]; then
            [ $is_match = 0 ] || err "$n" "$key takes only an assignment"
        elif [[ $either != *" $key "* ]]; then
            err "$n" "unknown key $key"
        fi
        case $key in ATTR | ATTRS | ENV | SYSCTL) [ -n "$attr" ] || err "$n" "$key needs {name}" ;; esac
        [ $is_match = 1 ] && matches=$((matches + 1))
        case "$key$attr" in
            'ATTR{idVendor}' | 'ATTRS{idVendor}' | 'ATTR{idProduct}' | 'ATTRS{idProduct}')
                [[ $value =~ ^[0-9a-f]{4}$ ]] || err "$n" "$key$attr \"$value\" is not four lower-case hex digits"
                [[ $attr == '{idVendor}' ]] && vendor=1 ;;
        esac
        [ "$key" = SUBSYSTEM ] || [ "$key" = SUBSYSTEMS ] && [ $is_match = 1 ] && [ "$value" = usb ] && usb=1
        [ "$key" = TAG ] && [ "$op" = "+=" ] && [ "$value" = uaccess ] && uaccess=1
        [ "$key$attr" = 'ENV{ID_MM_DEVICE_IGNORE}' ] && [ "$op" = "=" ] && [ "$value" = 1 ] && mm_ignore=1
        [ "$key" = MODE ] && { [[ $value =~ ^0?[0-7]{3}$ ]] || err "$n" "MODE \"$value\" is not octal"; }
        [ "$key" = LABEL ] && labels+="$value "
        [ "$key" = GOTO ] && gotos+=("$n:$value")
    done
    [ $matches -gt 0 ] || [[ $2 == *LABEL=* ]] || err "$n" "rule matches nothing: it would apply to every device"
    [ $uaccess = 1 ] && [ $vendor = 1 ] && uaccess_vendor=$((uaccess_vendor + 1))
    [ $mm_ignore = 1 ] && [ $vendor = 1 ] && mm_ignore_vendor=$((mm_ignore_vendor + 1))
}

while IFS= read -r line || [ -n "$line" ]; do
    lineno=$((lineno + 1))
    [ -z "$rule" ] && start=$lineno
    if [[ $line == *\\ ]]; then
        rule+="${line%\\} "
        continue
    fi
    rule+=$line
    if [[ ! $rule =~ ^[[:space:]]*(#|$) ]]; then
        check_rule "$start" "$rule"
    fi
    rule=""
done <"$file"
[ -z "$rule" ] || err "$start" "file ends inside a continued line"

for g in "${gotos[@]}"; do
    [[ $labels == *" ${g#*:} "* ]] || err "${g%%:*}" "GOTO \"${g#*:}\" has no LABEL"
done
[ $uaccess_vendor -gt 0 ] || err "$lineno" "no rule tags devices of a vendor ID with uaccess"
[ $mm_ignore_vendor -gt 0 ] || err "$lineno" "no rule keeps ModemManager away from devices of a vendor ID"
[ $usb = 1 ] || err "$lineno" "no rule names the usb subsystem"

[ $errors -eq 0 ] || { echo "$file: $errors error(s)" >&2; exit 1; }
