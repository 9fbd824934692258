// The utility's command line and the values start-up derives from the
// environment. Pure functions, tested on their own.
#pragma once
#include "utility/Ipv4Edit.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace vexal::utility {

inline constexpr int kDefaultTcpPort = 9100;

struct SUtilityOptions {
    int nInterface = 16;                 // 16 USB, 2 Ethernet, 4 serial ("Bluetooth")
    std::optional<Ipv4Octets> address;   // --address
    std::optional<int> nTcpPort;         // --tcp-port
    std::optional<uint32_t> nSerial;     // --serial COM<n>
    bool bConnect = false;               // --connect
    QString strLibrary = QStringLiteral("ZamoCfg");  // the configuration library to bind
};

enum class EParseOutcome { Run, Help, Version, Error };

struct SParseResult {
    EParseOutcome eOutcome = EParseOutcome::Run;
    SUtilityOptions options;
    QString strText;  // the help text, the version line or the error
};

// arguments[0] is the program. A bad value gives Error with a message that
// names the option and the value.
SParseResult ParseUtilityOptions(const QStringList& arguments);

// The folder log folders go under when VEXAL_LOG_DIR is unset:
// $XDG_STATE_HOME/vexal, or <home>/.local/state/vexal (a relative
// XDG_STATE_HOME is ignored, as the base directory rules say).
QString DefaultLogDirectory(const QString& strXdgStateHome, const QString& strHome);

// The serial list entries "COM1:" .. "COM<n>:" for the highest COM number
// present (0: none -> 40 entries).
QStringList SerialPortEntries(uint32_t nHighest);

// The port text selectInterface gets: "a.b.c.d:port" (2), the entry without
// its ':' (4), empty for USB (16) and anything else.
QString BuildPortText(int nInterface, const Ipv4Octets& address, int nTcpPort, const QString& strSerialEntry);

// The model label: the model text without its first character.
QString ModelLabelText(const QString& strModel);

}  // namespace vexal::utility
