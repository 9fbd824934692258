#!/usr/bin/env python3
"""Checks that every export of 32-bit DLLs returns as __stdcall, from the files alone.

    check-x86-convention.py --cc CC --nm NM --objdump OBJDUMP --source-dir DIR
                            --exports LIST [--exports LIST ...] DLL [DLL ...]

What a host expects comes from the public headers as a 32-bit compiler reads
them: a probe that takes the address of every listed function refers to
_name@bytes for a __stdcall declaration (bytes: what the caller pushes) and
to plain _name otherwise. What the DLL does comes from its code: each export
named in its export table is disassembled from its address up to the next
symbol, and every return there must be `ret bytes` (the callee removes its
arguments); a __cdecl function returns with a plain `ret`.
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile


def run(*command):
    return subprocess.run(command, check=True, capture_output=True, text=True).stdout


def declared_bytes(cc, nm, source_dir, export_lists):
    """Name -> argument bytes of each listed function, None where it is not __stdcall."""
    names = []
    for path in export_lists:
        with open(path) as f:
            names += [line.strip() for line in f if line.strip()]
    with tempfile.TemporaryDirectory() as work:
        probe = os.path.join(work, "probe.c")
        with open(probe, "w") as f:
            f.write('#include "include/zamoport.h"\n#include "include/zamocfg.h"\n')
            f.write("void (*const vexal_probe[])(void) = {\n")
            f.writelines("    (void (*)(void))%s,\n" % n for n in names)
            f.write("};\n")
        run(cc, "-c", "-I", source_dir, "-o", os.path.join(work, "probe.o"), probe)
        symbols = run(nm, "-u", os.path.join(work, "probe.o"))
    found = dict(re.findall(r"\bU _([A-Za-z_]\w*)@(\d+)$", symbols, re.M))
    return {n: int(found[n]) if n in found else None for n in names}


def exports_of(objdump, dll):
    """(file format, {name: virtual address}) from the export table."""
    dump = run(objdump, "-p", dll)
    fmt = re.search(r"file format (\S+)", dump).group(1)
    base = int(re.search(r"^ImageBase\s+([0-9a-fA-F]+)", dump, re.M).group(1), 16)
    rvas = {int(i): int(rva, 16) for i, rva in re.findall(r"\[\s*(\d+)\] \+base\[\s*\d+\]\s+([0-9a-fA-F]+) Export RVA", dump)}
    table = dump.split("[Ordinal/Name Pointer] Table", 1)[1] if "[Ordinal/Name Pointer] Table" in dump else ""
    names = re.findall(r"^\s*\[\s*(\d+)\] (\S+)$", table, re.M)
    return fmt, {name: base + rvas[int(i)] for i, name in names}


def returns_of(objdump, dll, address):
    """Return instructions from address up to the next symbol: [(address, bytes popped)]."""
    text = run(objdump, "-d", "--no-show-raw-insn", "--start-address=%#x" % address,
               "--stop-address=%#x" % (address + 0x4000), dll)
    rets = []
    started = False
    for line in text.splitlines():
        label = re.match(r"^([0-9a-f]+) <[^>]+>:$", line)
        if label:
            at = int(label.group(1), 16)
            if started and at != address:
                break
            started = at == address
            continue
        insn = re.match(r"^\s*([0-9a-f]+):\s+ret[lw]?\b\s*(\$0x[0-9a-f]+)?", line)
        if started and insn:
            rets.append((int(insn.group(1), 16), int(insn.group(2)[1:], 16) if insn.group(2) else 0))
    return started, rets


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cc", required=True)
    parser.add_argument("--nm", required=True)
    parser.add_argument("--objdump", required=True)
    parser.add_argument("--source-dir", required=True)
    parser.add_argument("--exports", action="append", required=True)
    parser.add_argument("dlls", nargs="+")
    args = parser.parse_args()

    declared = declared_bytes(args.cc, args.nm, args.source_dir, args.exports)
    plain = sorted(n for n, b in declared.items() if b is None)
    failed = False
    if plain:
        print("the headers declare these without __stdcall: " + " ".join(plain))
        failed = True
    for dll in args.dlls:
        fmt, exports = exports_of(args.objdump, dll)
        name = os.path.basename(dll)
        if fmt != "pei-i386":
            print("%s: file format %s, not a 32-bit DLL" % (name, fmt))
            failed = True
            continue
        wrong = []
        checked = 0
        for export, address in sorted(exports.items()):
            expected = declared.get(export, -1)
            if expected == -1:
                wrong.append("%s: not declared in the headers" % export)
                continue
            if expected is None:
                wrong.append("%s: declared without __stdcall" % export)
                continue
            if expected == 0:
                continue  # no arguments: nothing to remove
            started, rets = returns_of(args.objdump, dll, address)
            if not started:
                wrong.append("%s: no symbol at its address %#x (a DLL without its symbol table?)" % (export, address))
            elif not rets:
                wrong.append("%s: no return before the next symbol" % export)
            elif any(popped != expected for _, popped in rets):
                seen = sorted({popped for _, popped in rets})
                wrong.append("%s: %s, but its arguments take ret $%#x" % (
                    export, " and ".join("plain ret" if p == 0 else "ret $%#x" % p for p in seen), expected))
            else:
                checked += 1
        if wrong:
            print("%s: %d of %d exports do not return as __stdcall" % (name, len(wrong), len(exports)))
            for line in wrong:
                print("  " + line)
            failed = True
        else:
            print("%s: all %d exports with arguments return with ret <their argument bytes> (__stdcall)" % (
                name, checked))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
