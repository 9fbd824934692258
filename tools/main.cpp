// vexalcfg: configures Vexal hubs from the command line, for scripts, backups
// and many hubs at once. The hub is reached only through the configuration
// library, loaded by name at run time.
#include "model/CustomDevices.h"
#include "model/KeyValues.h"
#include "tools/Commands.h"
#include "tools/ToolSystem.h"

#include <CLI/CLI.hpp>

#include <iostream>

#ifndef VEXALCFG_VERSION
#define VEXALCFG_VERSION "0.1"
#endif

namespace {

using namespace vexal::tools;
using vexal::model::CustomTypeName;
using vexal::model::FindGroup;
using vexal::model::kCustomTypeCount;
using vexal::model::SettingGroups;
using vexal::model::SGroupDef;

std::string KeysHelp(const std::string& strGroup) {
    const SGroupDef* pGroup = FindGroup(strGroup);
    std::string out = "  " + strGroup + ":\n";
    for (const auto& key : pGroup->vecKeys) {
        std::string strName = key.strName;
        strName.resize(std::max<size_t>(strName.size() + 1, 14), ' ');
        out += "    " + strName + key.strHelp + (key.bPerHub ? "; kept per hub by restore --clone" : "") +
               (key.bSecret ? "; secret" : "") + "\n";
    }
    return out;
}

std::string AllKeysHelp() {
    std::string out = "Groups and keys (get GROUP, set GROUP KEY=VALUE...):\n";
    for (const auto& group : SettingGroups()) out += KeysHelp(group.strName);
    out += "  serial takes the adapter's device ID first: get serial 100, set serial 100 baud=115200 parity=even\n";
    return out;
}

std::string CustomTypesHelp() {
    std::string out = "Device types: ";
    for (int i = 0; i < kCustomTypeCount; ++i) out += std::string(i ? ", " : "") + CustomTypeName(i);
    return out + " (or their number 0-9)\n";
}

const char* kFooter = R"(Connection (one of):
  --ethernet ADDR[:PORT]   the hub's IPv4 address, TCP port 9100 unless given
  --serial COM<n>[:BAUD]   a serial port of the device directory (VEXAL_DEVICE_DIR)
  --serial COM<n>:BAUD:DATA:PARITY:STOP:FLOW   with explicit line settings
  --serial /PATH[...]      a device file opened by its path, such as /dev/ttyUSB0 or
                           /dev/rfcomm0 (a path starts with '/'; one holding ':'
                           is named through a link without ':')
  --usb                    the hub attached by USB
  --hosts FILE             every hub listed in FILE (one ADDR[:PORT] per line,
                           '#' comments), in parallel worker processes (--jobs N)

Examples:
  vexalcfg --ethernet 192.168.0.10 show
  vexalcfg --ethernet 192.168.0.10 set lan dhcp=off ip=192.168.0.20
  vexalcfg --serial /dev/rfcomm0 get bluetooth
  vexalcfg --ethernet 10.0.0.5 backup hub.json
  vexalcfg --ethernet 10.0.0.6 restore hub.json --clone --dry-run
  vexalcfg --hosts stores.txt --jobs 16 restore profile.json --clone
  vexalcfg --hosts stores.txt backup 'backups/{host}.json'
  vexalcfg scan 192.168.0.0/24
  vexalcfg scan 192.168.0.0/22 --prometheus-sd /etc/prometheus/vexal-hubs.json
  vexalcfg --ethernet 192.168.0.10 status
  vexalcfg --ethernet 192.168.0.10 watch --json
  vexalcfg --ethernet 192.168.0.10 send 10 receipt.bin
  vexalcfg --ethernet 192.168.0.10 recv 40 --hex --for 30

Secrets (the keys marked secret below: WLAN keys and EAP password, SNMP
communities, Bluetooth PIN): get and show print them as the hub holds them,
as asked; every other output and message (set, restore, errors) shows a
secret that is set as ********. Backup files hold them and are created
readable and writable by their owner only (mode 0600).

Exit status: 0 when everything asked succeeded, 2 for a usage error (unknown
command, key or value), 1 otherwise. Errors go to standard error and name the
library's result code and its meaning. --json prints one JSON document on
standard output (an array of one entry per hub with --hosts); watch --json
and recv --json print one JSON object per line instead, flushed per event.
)";

}  // namespace

int main(int argc, char** argv) {
    CUtf8Arguments utf8Args(argc, argv);  // file names outside the ANSI code page come through on Windows
    argc = utf8Args.Count();
    argv = utf8Args.Values();
    SOptions o;
    CLI::App app{"vexalcfg - configure Vexal hubs from the command line", "vexalcfg"};
    app.footer(std::string(kFooter) + "\n" + AllKeysHelp() + CustomTypesHelp());
    app.set_version_flag("--version", "vexalcfg " VEXALCFG_VERSION);
    // Options as on Linux everywhere: on Windows a path such as /tmp/hub.json
    // must stay a path, not become an option "/tmp".
    app.allow_windows_style_options(false);
    app.require_subcommand(1);
    app.fallthrough();
    app.get_formatter()->column_width(34);

    auto* pEthernet =
        app.add_option("--ethernet", o.strEthernet, "reach the hub over TCP at ADDR[:PORT] (port 9100 by default)");
    auto* pSerial =
        app.add_option("--serial", o.strSerial,
                       "reach the hub on a serial port: COM<n> or a device path (/dev/ttyUSB0), optionally :BAUD or "
                       ":BAUD:DATA:PARITY:STOP:FLOW");
    auto* pUsb = app.add_flag("--usb", o.bUsb, "reach the hub attached by USB");
    auto* pHosts =
        app.add_option("--hosts", o.strHosts, "run the command against every hub listed in FILE, in parallel");
    pEthernet->excludes(pSerial)->excludes(pUsb)->excludes(pHosts);
    pSerial->excludes(pUsb)->excludes(pHosts);
    pUsb->excludes(pHosts);
    app.add_option("--jobs", o.nJobs, "with --hosts: how many hubs at once (default 8)")->check(CLI::Range(1, 256));
    app.add_option("--timeout", o.nTimeout,
                   "seconds the session waits for the hub's device ID at open (library default 3)")
        ->check(CLI::Range(1, 600));
    app.add_flag("--json", o.bJson, "print one JSON document instead of tables");
    app.add_option("--library", o.strLibrary,
                   "configuration library to load (default ZamoCfg, looked for next to the program first)");

    auto* pInfo = app.add_subcommand("info", "model, firmware, device IDs present and the USB devices behind the hub");
    auto* pShow = app.add_subcommand("show", "every settings group at once");
    auto* pGet = app.add_subcommand("get", "read one settings group");
    pGet->add_option("GROUP", o.vecArgs, "bluetooth | lan | wlan | netproto | usage | serial DEVICE-ID")->required();
    pGet->footer(AllKeysHelp());
    auto* pSet = app.add_subcommand(
        "set",
        "change keys of one group: reads it, changes only the keys given, writes, and reads back to confirm. "
        "Values are checked before anything is sent.");
    pSet->add_option("GROUP KEY=VALUE", o.vecArgs, "the group (serial with its DEVICE-ID), then KEY=VALUE...")
        ->required();
    pSet->footer(AllKeysHelp());
    auto* pCustom = app.add_subcommand("custom", "the hub's table of custom USB devices");
    pCustom
        ->add_option("ACTION TYPE VID PID", o.vecArgs,
                     "list [TYPE] | add TYPE VID PID | delete TYPE VID PID | reset TYPE; VID and PID are four "
                     "hexadecimal digits")
        ->required();
    pCustom->footer(CustomTypesHelp());
    auto* pBackup = app.add_subcommand(
        "backup", "write every readable setting to FILE (JSON with the hub's model, firmware and the time taken)");
    pBackup->add_option("FILE", o.vecArgs, "the backup file; with --hosts put {host} in the name")->required();
    auto* pRestore = app.add_subcommand(
        "restore",
        "write back what differs between FILE and the hub, group by group, and report each group's outcome. "
        "Read-only fields (MAC address, WLAN device name) are compared, never written.");
    pRestore->add_option("FILE", o.vecArgs, "a backup file")->required();
    pRestore->add_option("--only", o.vecOnly, "only these groups: bluetooth,lan,wlan,netproto,usage,serial,custom")
        ->delimiter(',');
    pRestore->add_flag("--dry-run", o.bDryRun, "show what would be written; write nothing");
    pRestore->add_flag("--clone", o.bClone,
                       "apply another hub's settings as a rollout profile: leave out the per-hub keys "
                       "(lan.ip, wlan.ip, bluetooth.name)");
    pRestore->add_option("--include", o.vecInclude, "with --clone: per-hub keys to apply anyway, e.g. bluetooth.name")
        ->delimiter(',');
    auto* pScan = app.add_subcommand("scan", "find hubs listening on TCP 9100 in an address range (at most a /22)");
    pScan->add_option("CIDR", o.vecArgs, "range such as 192.168.0.0/24")->required();
    pScan->add_option("--parallel", o.nParallel, "connection attempts at once (default 64)")
        ->check(CLI::Range(1, 1024));
    pScan->add_option("--connect-timeout", o.nConnectTimeoutMs, "connect time-out per address in ms (default 300)")
        ->check(CLI::Range(10, 10000));
    pScan->add_option("--port", o.nScanPort, "TCP port to look for (default 9100)")->check(CLI::Range(1, 65535));
    pScan->add_option("--prometheus-sd", o.strPrometheusSd,
                      "also write the hubs found to FILE as a Prometheus file_sd target list, grouped by model "
                      "(an empty list when none; nothing when the scan fails)");
    auto* pPorts = app.add_subcommand("ports", "the COM<n> names the system offers and the device each stands for");
    auto* pStatus = app.add_subcommand(
        "status", "link, model, firmware, the devices present (VID, PID, custom type) and each printer's status");
    auto* pWatch = app.add_subcommand(
        "watch", "one line per event (device added or removed, printer status, write alarm, link) until Ctrl-C");
    pWatch->add_option("--for", o.dForSeconds, "end after S seconds")->check(CLI::PositiveNumber);
    auto* pSend = app.add_subcommand(
        "send",
        "write the bytes of FILE (or standard input) to a device behind the hub, in order; exit 1 when the "
        "hub raises a write alarm for it");
    pSend->add_option("DEVICE FILE", o.vecArgs, "the device ID (1-254), then FILE or - (the default)")->required();
    auto* pRecv = app.add_subcommand("recv", "print what a device behind the hub sends, as it arrives, until Ctrl-C");
    pRecv->add_option("DEVICE", o.vecArgs, "the device ID (1-254)")->required();
    pRecv->add_option("--for", o.dForSeconds, "end after S seconds")->check(CLI::PositiveNumber);
    pRecv->add_flag("--hex", o.bHex, "one line of hexadecimal bytes per piece instead of the bytes themselves");
    for (auto* p : {pInfo, pShow, pGet, pSet, pCustom, pBackup, pRestore, pScan, pPorts, pStatus, pWatch, pSend, pRecv})
        p->fallthrough();

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return kExitUsage;
    }
    o.strCommand = app.get_subcommands().front()->get_name();
    if (o.strHosts.empty()) return RunCommand(o);

    // Workers get the same command line without the fleet options.
    std::vector<std::string> workerArgs;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--hosts" || a == "--jobs") {
            ++i;
            continue;
        }
        if (a.rfind("--hosts=", 0) == 0 || a.rfind("--jobs=", 0) == 0 || a == "--json") continue;
        workerArgs.push_back(a);
    }
    return RunFleet(o, workerArgs);
}
