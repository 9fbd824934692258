#!/usr/bin/env bash
# Builds the Debian package from a configured and built tree and checks it
# unpacked in a scratch folder: the programs run there and load their
# libraries from there (not from the build tree), an integrator's program
# builds and runs from the installed headers and pkg-config files, lintian
# finds no error, and the desktop entry, the udev rule and the man pages parse.
#   usage: packaging/check-package.sh BUILD_DIR
set -euo pipefail

if [ $# -ne 1 ] || [ ! -f "$1/CMakeCache.txt" ]; then
    echo "usage: $0 BUILD_DIR (a configured and built tree)" >&2
    exit 2
fi
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

scratch=$(mktemp -d)
sim_pid=""
cleanup() {
    if [ -n "$sim_pid" ]; then
        kill "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
    rm -rf "$scratch"
}
trap cleanup EXIT

# --- build the package ------------------------------------------------------
rm -f "$build"/vexal_*.deb
if ! (cd "$build" && cpack -G DEB >"$scratch/cpack.log" 2>&1); then
    cat "$scratch/cpack.log" >&2
    echo "FAIL: cpack" >&2
    exit 1
fi
debs=("$build"/vexal_*_amd64.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
    echo "FAIL: expected one vexal_*_amd64.deb" >&2
    exit 1
fi
deb=${debs[0]}
version=$(dpkg-deb -f "$deb" Version)
echo "package: $(basename "$deb") ($(du -k "$deb" | cut -f1) KiB)"
dpkg-deb -f "$deb" Depends
[ "$(basename "$deb")" = "vexal_${version}_amd64.deb" ] || fail "file name does not carry version $version"

root=$scratch/root
dpkg-deb -x "$deb" "$root"
usr=$root/usr
arch=$(basename "$(dirname "$(find "$usr/lib" -mindepth 2 -maxdepth 2 -type d -name vexal | head -n1)")")
libdir=$usr/lib/$arch/vexal

# --- contents ---------------------------------------------------------------
expect=(
    bin/vexal-hubsim
    "lib/$arch/vexal/libzamoport.so" "lib/$arch/vexal/libZamoCfg.so"
    include/vexal/zamoport.h include/vexal/zamocfg.h
    "lib/$arch/pkgconfig/zamoport.pc" "lib/$arch/pkgconfig/zamocfg.pc"
    share/man/man1/vexal-hubsim.1.gz
    share/doc/vexal/copyright share/doc/vexal/changelog.Debian.gz
)
# What the build made must be in the package too.
[ -x "$build/out/vexalcfg" ] && expect+=(bin/vexalcfg share/man/man1/vexalcfg.1.gz)
[ -x "$build/out/Vexal_Configuration_Utility" ] &&
    expect+=(bin/Vexal_Configuration_Utility share/man/man1/Vexal_Configuration_Utility.1.gz)
[ -x "$build/out/vexal-exporter" ] && expect+=(bin/vexal-exporter share/man/man1/vexal-exporter.1.gz
    lib/systemd/system/vexal-exporter.service
    share/doc/vexal/examples/exporter/{prometheus.yml,vexal-alerts.yml,vexal-hubs.json})
[ -f "$top/data/udev/60-vexal-hub.rules" ] && expect+=(lib/udev/rules.d/60-vexal-hub.rules)
[ -x "$build/out/cups/backend/vexal" ] && expect+=(lib/cups/backend/vexal)
pydir=$usr/lib/python3/dist-packages
pymodule=$({ find "$build/python/vexal" -maxdepth 1 -name '_vexal*.so' -printf '%f\n' 2>/dev/null || true; } | head -n1)
[ -n "$pymodule" ] && expect+=(lib/python3/dist-packages/vexal/{__init__.py,_errors.py,py.typed,_vexal.pyi,"$pymodule"})
collection=$({ find "$build/ansible" -maxdepth 1 -name 'vexal-hub-*.tar.gz' -printf '%f\n' 2>/dev/null || true; } | head -n1)
[ -n "$collection" ] && expect+=("share/vexal/ansible/$collection"
    share/ansible/collections/ansible_collections/vexal/hub/MANIFEST.json
    share/ansible/collections/ansible_collections/vexal/hub/plugins/modules/hub_settings.py)
for f in "${expect[@]}"; do
    [ -e "$usr/$f" ] || fail "package lacks /usr/$f"
done
pass "contents (${#expect[@]} expected files)"

changelog_version=$(zcat "$usr/share/doc/vexal/changelog.Debian.gz" | dpkg-parsechangelog -l - -S Version)
[ "$changelog_version" = "$version" ] || fail "changelog's newest entry is $changelog_version, package is $version"

# --- search paths: relative to each file, never into the build tree --------
while IFS= read -r -d '' f; do
    file -b "$f" | grep -q '^ELF' || continue
    name=${f#"$root"}
    paths=$(readelf -d "$f" | sed -n 's/.*(\(RPATH\|RUNPATH\)).*\[\(.*\)\]/\2/p')
    [ -z "$paths" ] && continue
    IFS=: read -r -a entries <<<"$paths"
    case ":$paths:" in
        *::*) fail "$name: empty search path entry (the working directory) in '$paths'" ;;
    esac
    for e in "${entries[@]}"; do
        # shellcheck disable=SC2016 # the literal loader token
        case $e in
            '$ORIGIN' | '$ORIGIN/'*) ;;
            *) fail "$name: search path entry '$e' is not relative to the file" ;;
        esac
    done
    case $paths in *"$build"* | *"$top"*) fail "$name: search path names the build tree: $paths" ;; esac
done < <(find "$root" -type f -print0)
for prog in vexalcfg Vexal_Configuration_Utility vexal-exporter; do
    [ -e "$usr/bin/$prog" ] || continue
    runpath=$(readelf -d "$usr/bin/$prog" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
    IFS=: read -r -a entries <<<"$runpath"
    found=0
    for e in "${entries[@]}"; do
        [ -e "${e//\$ORIGIN/$usr/bin}/libZamoCfg.so" ] && found=1
    done
    [ $found = 1 ] || fail "$prog: RUNPATH '$runpath' does not lead to libZamoCfg.so"
done
backend=$usr/lib/cups/backend/vexal
if [ -e "$backend" ]; then
    # cupsd runs a backend that others may run as its own user: 0755, not 0700.
    [ "$(stat -c %a "$backend")" = 755 ] || fail "the CUPS backend has mode $(stat -c %a "$backend"), not 755"
    runpath=$(readelf -d "$backend" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
    IFS=: read -r -a entries <<<"$runpath"
    [ -e "${entries[0]//\$ORIGIN/$usr/lib/cups/backend}/libZamoCfg.so" ] ||
        fail "the CUPS backend: RUNPATH '$runpath' does not lead to libZamoCfg.so"
fi
if [ -n "$pymodule" ]; then
    runpath=$(readelf -d "$pydir/vexal/$pymodule" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
    IFS=: read -r -a entries <<<"$runpath"
    [ -e "${entries[0]//\$ORIGIN/$pydir/vexal}/libZamoCfg.so" ] ||
        fail "$pymodule: RUNPATH '$runpath' does not lead to libZamoCfg.so"
fi
pass "search paths"

# Which files the loader opened, from LD_DEBUG=libs output files PREFIX.<pid>.
loaded_from() {  # PREFIX LIBRARY
    cat "$1".* 2>/dev/null | sed -n "s/.*calling init: \(.*\/$2\)$/\1/p" | head -n1
}
check_loaded() {  # WHAT PREFIX
    local lib path
    for lib in libZamoCfg.so libzamoport.so; do
        path=$(loaded_from "$2" "$lib")
        if [ -z "$path" ]; then
            fail "$1 did not load $lib"
        elif [ "$(realpath "$path")" != "$(realpath "$libdir/$lib")" ]; then
            fail "$1 loaded $lib from $path, not from the unpacked package"
        else
            pass "$1 loaded ${path#"$scratch"/}"
        fi
    done
}

# --- run the simulator from the package ------------------------------------
unset LD_LIBRARY_PATH VEXAL_USB_SIM_DIR VEXAL_DEVICE_DIR
export VEXAL_LOG_DIR=$scratch/logs
mkdir -p "$VEXAL_LOG_DIR"
"$usr/bin/vexal-hubsim" --listen 127.0.0.1:0 --greet --state "$scratch/hub.json" \
    >"$scratch/sim.out" 2>"$scratch/sim.err" &
sim_pid=$!
for _ in $(seq 100); do
    grep -q '^\(READY\|ERROR\)' "$scratch/sim.out" 2>/dev/null && break
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.1
done
port=$(sed -n 's/^LISTEN 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$scratch/sim.out")
if grep -q '^READY' "$scratch/sim.out" && [ -n "$port" ]; then
    pass "vexal-hubsim from the package listens on 127.0.0.1:$port"
else
    cat "$scratch/sim.out" "$scratch/sim.err" >&2
    echo "FAIL: vexal-hubsim from the package did not start" >&2
    exit 1
fi

if [ -e "$usr/bin/vexalcfg" ]; then
    if LD_DEBUG=libs LD_DEBUG_OUTPUT=$scratch/ld-vexalcfg timeout 120 \
        "$usr/bin/vexalcfg" --ethernet "127.0.0.1:$port" show >"$scratch/show.out" 2>"$scratch/show.err"; then
        if grep -q 'VX-H400_VXL' "$scratch/show.out"; then
            pass "vexalcfg --ethernet 127.0.0.1:$port show names the simulated hub"
        else
            fail "vexalcfg show does not name the simulated hub's model"
            cat "$scratch/show.out" >&2
        fi
    else
        fail "vexalcfg --ethernet 127.0.0.1:$port show failed"
        cat "$scratch/show.out" "$scratch/show.err" >&2
    fi
    check_loaded vexalcfg "$scratch/ld-vexalcfg"
else
    echo "skip: no vexalcfg in the package"
fi

# The CUPS backend prints a job to the simulated printer, as cupsd runs it.
if [ -e "$backend" ]; then
    printf 'Thank you\r\n' >"$scratch/receipt.txt"
    if DEVICE_URI="vexal://127.0.0.1:$port/10" LD_DEBUG=libs LD_DEBUG_OUTPUT=$scratch/ld-backend timeout 120 \
        "$backend" 1 root receipt 1 '' "$scratch/receipt.txt" >"$scratch/backend.out" 2>"$scratch/backend.err" &&
        grep -q 'sent 11 bytes to device 10' "$scratch/backend.err"; then
        pass "the CUPS backend from the package printed a job to the simulated hub"
    else
        fail "the CUPS backend from the package did not print the job"
        cat "$scratch/backend.out" "$scratch/backend.err" >&2
    fi
    check_loaded "the CUPS backend" "$scratch/ld-backend"
    if DEVICE_URI="vexal:/nowhere/10" "$backend" 1 root receipt 1 '' "$scratch/receipt.txt" 2>"$scratch/backend.err"; then
        fail "the CUPS backend took a bad URI"
    elif [ $? = 1 ] && grep -q '^ERROR: ' "$scratch/backend.err"; then
        pass "the CUPS backend refuses a bad URI ($(cat "$scratch/backend.err"))"
    else
        fail "the CUPS backend's answer to a bad URI"
        cat "$scratch/backend.err" >&2
    fi
fi

# The exporter from the package probes the simulator (its worker loads the
# libraries), and its unit, examples and alert rules are what they claim.
if [ -e "$usr/bin/vexal-exporter" ]; then
    LD_DEBUG=libs LD_DEBUG_OUTPUT=$scratch/ld-exporter "$usr/bin/vexal-exporter" --listen 127.0.0.1:0 \
        >"$scratch/exporter.out" 2>"$scratch/exporter.err" &
    exporter_pid=$!
    for _ in $(seq 50); do
        grep -q '^LISTEN ' "$scratch/exporter.out" 2>/dev/null && break
        sleep 0.1
    done
    exporter_at=$(sed -n 's/^LISTEN //p' "$scratch/exporter.out")
    if [ -n "$exporter_at" ] &&
        curl -sf -H 'X-Prometheus-Scrape-Timeout-Seconds: 10' "http://$exporter_at/probe?target=127.0.0.1:$port" \
            >"$scratch/probe.out" && grep -q '^vexal_hub_up 1$' "$scratch/probe.out" &&
        grep -q '^vexal_hub_info{model="VX-H400_VXL"' "$scratch/probe.out"; then
        pass "vexal-exporter from the package probes the simulated hub"
        if command -v promtool >/dev/null 2>&1 && ! promtool check metrics <"$scratch/probe.out"; then
            fail "promtool check metrics on the packaged exporter's probe"
        fi
    else
        fail "vexal-exporter from the package did not probe the simulated hub"
        cat "$scratch/exporter.out" "$scratch/exporter.err" "$scratch/probe.out" >&2 2>/dev/null || true
    fi
    kill "$exporter_pid" 2>/dev/null || true
    wait "$exporter_pid" 2>/dev/null || true
    check_loaded vexal-exporter "$scratch/ld-exporter"

    unit=$usr/lib/systemd/system/vexal-exporter.service
    grep -qx 'DynamicUser=yes' "$unit" || fail "vexal-exporter.service does not run as a dynamic user"
    grep -q '^ExecStart=/usr/bin/vexal-exporter --listen 127\.0\.0\.1:' "$unit" ||
        fail "vexal-exporter.service does not start /usr/bin/vexal-exporter on loopback"
    if command -v systemd-analyze >/dev/null 2>&1; then
        # Verified with ExecStart pointing into the unpacked tree; its man page is
        # the unpacked one, checked below.
        mkdir -p "$scratch/unit"
        sed "s|^ExecStart=/usr/bin/|ExecStart=$usr/bin/|" "$unit" >"$scratch/unit/vexal-exporter.service"
        # An unknown key is only warned about: any word from it fails.
        if systemd-analyze verify --man=no "$scratch/unit/vexal-exporter.service" >"$scratch/unit.out" 2>&1 &&
            [ ! -s "$scratch/unit.out" ]; then
            pass "systemd-analyze verify vexal-exporter.service"
        else
            fail "systemd-analyze verify vexal-exporter.service"
            cat "$scratch/unit.out" >&2
        fi
    fi
    examples=$usr/share/doc/vexal/examples/exporter
    if command -v promtool >/dev/null 2>&1; then
        if promtool check rules "$examples/vexal-alerts.yml" >"$scratch/rules.out" 2>&1; then
            pass "promtool check rules vexal-alerts.yml"
        else
            fail "promtool check rules vexal-alerts.yml"
            cat "$scratch/rules.out" >&2
        fi
        # The example configuration with its files where the package put them.
        sed -e "s|/etc/prometheus/vexal-alerts.yml|$examples/vexal-alerts.yml|" \
            -e "s|/etc/prometheus/vexal-hubs.json|$examples/vexal-hubs.json|" \
            "$examples/prometheus.yml" >"$scratch/prometheus.yml"
        if promtool check config "$scratch/prometheus.yml" >"$scratch/config.out" 2>&1; then
            pass "promtool check config prometheus.yml"
        else
            fail "promtool check config prometheus.yml"
            cat "$scratch/config.out" >&2
        fi
    fi
fi

# The utility, headless, connects at start: the simulator sees the host.
if [ -e "$usr/bin/Vexal_Configuration_Utility" ]; then
    before=$(grep -c 'host connected' "$scratch/sim.err" || true)
    QT_QPA_PLATFORM=offscreen LD_DEBUG=libs LD_DEBUG_OUTPUT=$scratch/ld-utility \
        "$usr/bin/Vexal_Configuration_Utility" --interface ethernet --address 127.0.0.1 \
        --tcp-port "$port" --connect >"$scratch/utility.out" 2>&1 &
    utility_pid=$!
    connected=0
    for _ in $(seq 200); do
        [ "$(grep -c 'host connected' "$scratch/sim.err" || true)" -gt "$before" ] && { connected=1; break; }
        kill -0 "$utility_pid" 2>/dev/null || break
        sleep 0.1
    done
    kill "$utility_pid" 2>/dev/null || true
    wait "$utility_pid" 2>/dev/null || true
    if [ $connected = 1 ]; then
        pass "the utility from the package connected to the simulator"
    else
        fail "the utility from the package did not connect to the simulator"
        cat "$scratch/utility.out" >&2
    fi
    check_loaded "the utility" "$scratch/ld-utility"
fi

# The Python package from the unpacked tree, and the collection's modules over it.
if [ -n "$pymodule" ]; then
    if PYTHONPATH=$pydir LD_DEBUG=libs LD_DEBUG_OUTPUT=$scratch/ld-python timeout 120 /usr/bin/python3 -c "
import vexal
with vexal.Hub.ethernet('127.0.0.1', $port) as hub:
    print(hub.info().model, hub.lan.ip)" >"$scratch/python.out" 2>&1 && grep -q 'VX-H400_VXL' "$scratch/python.out"; then
        pass "import vexal from the package reads the simulated hub ($(cat "$scratch/python.out"))"
    else
        fail "the Python package from the package failed"
        cat "$scratch/python.out" >&2
    fi
    check_loaded "the Python package" "$scratch/ld-python"
fi
if [ -n "$collection" ] && command -v ansible-playbook >/dev/null 2>&1; then
    export ANSIBLE_COLLECTIONS_PATH=$usr/share/ansible/collections ANSIBLE_LOCAL_TEMP=$scratch/ansible-tmp
    if ansible-doc vexal.hub.hub_settings >"$scratch/ansible-doc.out" 2>&1 && grep -q 'values' "$scratch/ansible-doc.out"; then
        pass "ansible-doc vexal.hub.hub_settings from the package ($(wc -l <"$scratch/ansible-doc.out") lines)"
    else
        fail "ansible-doc vexal.hub.hub_settings"
        cat "$scratch/ansible-doc.out" >&2
    fi
    printf '%s\n' '- hosts: localhost' '  connection: local' '  gather_facts: false' '  tasks:' \
        "    - vexal.hub.hub_info: {ethernet: '127.0.0.1:$port', gather: [lan]}" '      register: hub' \
        '    - ansible.builtin.debug: {msg: "{{ hub.model }}"}' >"$scratch/play.yml"
    if PYTHONPATH=$pydir timeout 120 ansible-playbook -e ansible_python_interpreter=/usr/bin/python3 \
        "$scratch/play.yml" >"$scratch/play.out" 2>&1 && grep -q 'VX-H400_VXL' "$scratch/play.out"; then
        pass "a playbook with vexal.hub.hub_info from the package reads the simulated hub"
    else
        fail "a playbook with vexal.hub.hub_info from the package failed"
        cat "$scratch/play.out" >&2
    fi
    unset ANSIBLE_COLLECTIONS_PATH ANSIBLE_LOCAL_TEMP
fi

# An integrator's program, built only from what the package installs.
pcdir=$usr/lib/$arch/pkgconfig
if flags=$(PKG_CONFIG_PATH=$pcdir PKG_CONFIG_LIBDIR=$pcdir \
           pkg-config --define-variable=prefix="$usr" --cflags --libs zamocfg); then
    # shellcheck disable=SC2086 # the flags are words
    if cc -std=c11 -Wall -Wextra -o "$scratch/show_hub" "$top/examples/show_hub.c" $flags; then
        if LD_DEBUG=libs LD_DEBUG_OUTPUT=$scratch/ld-show timeout 120 \
            "$scratch/show_hub" "127.0.0.1:$port" >"$scratch/show_hub.out" 2>&1 &&
            grep -q 'VX-H400_VXL' "$scratch/show_hub.out"; then
            pass "example client built with pkg-config zamocfg runs against the simulator"
        else
            fail "example client built against the package failed"
            cat "$scratch/show_hub.out" >&2
        fi
        check_loaded "the example client" "$scratch/ld-show"
    else
        fail "example client does not build from the installed header and pkg-config file"
    fi
else
    fail "pkg-config zamocfg"
fi
PKG_CONFIG_PATH=$pcdir PKG_CONFIG_LIBDIR=$pcdir pkg-config --exists zamoport || fail "pkg-config zamoport"
kill "$sim_pid" 2>/dev/null || true
wait "$sim_pid" 2>/dev/null || true
sim_pid=""

# --- lintian ------------------------------------------------------------------
if lintian --fail-on error --tag-display-limit 0 "$deb" >"$scratch/lintian.out" 2>"$scratch/lintian.err"; then
    pass "lintian: no error ($(grep -c '^W:' "$scratch/lintian.out" || true) warnings)"
else
    fail "lintian reports errors"
fi
cat "$scratch/lintian.out"

# --- desktop entry ------------------------------------------------------------
shopt -s nullglob
desktop=("$usr"/share/applications/*.desktop)
if [ -e "$usr/bin/Vexal_Configuration_Utility" ] && [ ${#desktop[@]} -eq 0 ]; then
    fail "the utility is packaged without a desktop entry"
fi
for d in "${desktop[@]}"; do
    if desktop-file-validate "$d"; then
        pass "desktop-file-validate $(basename "$d")"
    else
        fail "desktop-file-validate $(basename "$d")"
    fi
    exec_prog=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$d" | head -n1)
    [ -e "$usr/bin/$(basename "$exec_prog")" ] || fail "$(basename "$d"): Exec=$exec_prog is not in the package"
    icon=$(sed -n 's/^Icon=//p' "$d" | head -n1)
    if [ -n "$icon" ] && [ -z "$(find "$usr/share/icons/hicolor" -name "$icon.*" 2>/dev/null | head -n1)" ]; then
        fail "$(basename "$d"): Icon=$icon has no file under hicolor"
    fi
done

# --- udev rule ----------------------------------------------------------------
rules=("$usr"/lib/udev/rules.d/*.rules)
for r in "${rules[@]}"; do
    if udevadm verify --help >/dev/null 2>&1; then
        if udevadm verify "$r"; then pass "udevadm verify $(basename "$r")"; else fail "udevadm verify $(basename "$r")"; fi
    elif bash "$top/packaging/check-udev-rule.sh" "$r"; then
        pass "udev rule $(basename "$r") parses"
    else
        fail "udev rule $(basename "$r")"
    fi
done

# --- man pages ----------------------------------------------------------------
for m in "$usr"/share/man/man1/*.1.gz; do
    page=$(basename "$m" .1.gz)
    if MANWIDTH=80 man --warnings -l "$m" >"$scratch/man.out" 2>"$scratch/man.err" &&
        [ ! -s "$scratch/man.err" ] && grep -q '^NAME' "$scratch/man.out" &&
        grep -q "$page" "$scratch/man.out"; then
        pass "man -l $page ($(wc -l <"$scratch/man.out") lines)"
    else
        fail "man -l $page"
        cat "$scratch/man.err" >&2
    fi
done

if [ $failures -ne 0 ]; then
    echo "package check: $failures failure(s)" >&2
    exit 1
fi
echo "package check: all passed"
