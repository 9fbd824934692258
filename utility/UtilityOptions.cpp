#include "utility/UtilityOptions.h"

#include "platform/DeviceNames.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace vexal::utility {

static std::optional<Ipv4Octets> ParseDotted(const QString& strText) {
    const QStringList parts = strText.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return std::nullopt;
    Ipv4Octets octets{};
    for (int i = 0; i < 4; ++i) {
        if (parts[i].isEmpty())  // on the command line every octet is written out
            return std::nullopt;
        auto octet = ParseOctet(parts[i]);
        if (!octet)
            return std::nullopt;
        octets[static_cast<size_t>(i)] = *octet;
    }
    return octets;
}

SParseResult ParseUtilityOptions(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Reads and changes the settings of a Vexal hub."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version."));
    const QCommandLineOption iface(QStringLiteral("interface"),
                                   QStringLiteral("How to reach the hub: usb, ethernet or bluetooth."),
                                   QStringLiteral("usb|ethernet|bluetooth"));
    const QCommandLineOption address(QStringLiteral("address"), QStringLiteral("The hub's IPv4 address."),
                                     QStringLiteral("A.B.C.D"));
    const QCommandLineOption port(QStringLiteral("tcp-port"),
                                  QStringLiteral("The hub's TCP port (default %1).").arg(kDefaultTcpPort),
                                  QStringLiteral("N"));
    const QCommandLineOption serial(QStringLiteral("serial"),
                                    QStringLiteral("The serial port of a Bluetooth link, e.g. COM3."),
                                    QStringLiteral("COMn"));
    const QCommandLineOption connect(QStringLiteral("connect"), QStringLiteral("Connect at start."));
    parser.addOptions({help, version, iface, address, port, serial, connect});

    SParseResult result;
    auto fail = [&result](const QString& strText) {
        result.eOutcome = EParseOutcome::Error;
        result.strText = strText;
        return result;
    };
    if (!parser.parse(arguments))
        return fail(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("Unexpected argument: %1").arg(parser.positionalArguments().front()));
    if (parser.isSet(help)) {
        result.eOutcome = EParseOutcome::Help;
        // Without an application object the parser cannot know the program's name.
        result.strText = parser.helpText().replace(
            QStringLiteral("<executable_name>"),
            arguments.isEmpty() ? QStringLiteral("Vexal_Configuration_Utility") : QFileInfo(arguments[0]).fileName());
        return result;
    }
    if (parser.isSet(version)) {
        result.eOutcome = EParseOutcome::Version;
        result.strText = QStringLiteral("%1 %2").arg(QCoreApplication::applicationName(),
                                                     QCoreApplication::applicationVersion());
        return result;
    }
    SUtilityOptions& o = result.options;
    if (parser.isSet(iface)) {
        const QString v = parser.value(iface).toLower();
        if (v == QLatin1String("usb"))
            o.nInterface = 16;
        else if (v == QLatin1String("ethernet"))
            o.nInterface = 2;
        else if (v == QLatin1String("bluetooth"))
            o.nInterface = 4;
        else
            return fail(QStringLiteral("Bad value for --interface: '%1' (usb, ethernet or bluetooth)").arg(v));
    }
    if (parser.isSet(address)) {
        o.address = ParseDotted(parser.value(address));
        if (!o.address)
            return fail(QStringLiteral("Bad value for --address: '%1' (four numbers 0-255, e.g. 192.168.0.17)")
                            .arg(parser.value(address)));
    }
    if (parser.isSet(port)) {
        bool bOk = false;
        const QString v = parser.value(port);
        const int n = v.toInt(&bOk, 10);
        if (!bOk || n < 1 || n > 65535 || v.startsWith(QLatin1Char('+')))
            return fail(QStringLiteral("Bad value for --tcp-port: '%1' (1-65535)").arg(v));
        o.nTcpPort = n;
    }
    if (parser.isSet(serial)) {
        const QString v = parser.value(serial);
        auto n = platform::ParsePortNumber(v.toStdString(), "COM");
        if (!n || *n > 255)
            return fail(QStringLiteral("Bad value for --serial: '%1' (COM1 to COM255)").arg(v));
        o.nSerial = *n;
    }
    o.bConnect = parser.isSet(connect);
    return result;
}

QString DefaultLogDirectory(const QString& strXdgStateHome, const QString& strHome) {
    QString strBase = strXdgStateHome;
    if (strBase.isEmpty() || !QDir::isAbsolutePath(strBase))
        strBase = strHome + QStringLiteral("/.local/state");
    return QDir::cleanPath(strBase + QStringLiteral("/vexal"));
}

}  // namespace vexal::utility
