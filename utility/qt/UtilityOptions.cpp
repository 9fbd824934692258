#include "utility/qt/UtilityOptions.h"

#include "utility/logic/CommandLine.h"

#include <QCoreApplication>
#include <QDir>

namespace vexal::utility {

// The toolkit-free parser (logic/CommandLine.h) with Qt's texts around it.
SParseResult ParseUtilityOptions(const QStringList& arguments) {
    std::vector<std::string> args;
    for (const QString& strArg : arguments) args.push_back(strArg.toStdString());
    const SCommandLine parsed =
        ParseCommandLine(args, QStringLiteral("%1 %2")
                                   .arg(QCoreApplication::applicationName(), QCoreApplication::applicationVersion())
                                   .toStdString());
    SParseResult result;
    result.options = parsed.options;
    result.strText = QString::fromStdString(parsed.strText);
    switch (parsed.eOutcome) {
    case ECommandLine::Run: result.eOutcome = EParseOutcome::Run; break;
    case ECommandLine::Help: result.eOutcome = EParseOutcome::Help; break;
    case ECommandLine::Version: result.eOutcome = EParseOutcome::Version; break;
    case ECommandLine::Error: result.eOutcome = EParseOutcome::Error; break;
    }
    return result;
}

QString DefaultLogDirectory(const QString& strXdgStateHome, const QString& strHome) {
    QString strBase = strXdgStateHome;
    if (strBase.isEmpty() || !QDir::isAbsolutePath(strBase)) strBase = strHome + QStringLiteral("/.local/state");
    return QDir::cleanPath(strBase + QStringLiteral("/vexal"));
}

}  // namespace vexal::utility
