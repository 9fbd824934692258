#include "utility/qt/LumaroApp.h"

#include "utility/qt/DialogServices.h"
#include "utility/qt/LumaroDlg.h"
#include "utility/qt/UtilityOptions.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

#ifndef VEXAL_UTILITY_VERSION
#define VEXAL_UTILITY_VERSION "0.0.0"
#endif

static void InitResources() { Q_INIT_RESOURCE(utility); }

namespace vexal::utility {

void CLumaroApp::PrepareLogDirectory() {
    if (!qEnvironmentVariableIsEmpty("VEXAL_LOG_DIR")) return;
    const QString strDir = DefaultLogDirectory(qEnvironmentVariable("XDG_STATE_HOME"), QDir::homePath());
    QDir().mkpath(strDir);
    qputenv("VEXAL_LOG_DIR", QFile::encodeName(strDir));
}

int CLumaroApp::Main(int argc, char** argv) {
    QCoreApplication::setApplicationName(QStringLiteral("Vexal_Configuration_Utility"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VEXAL_UTILITY_VERSION));
    QCoreApplication::setOrganizationName(QStringLiteral("Vexal"));

    // The command line first: --help, --version and mistakes need no display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    const SParseResult parsed = ParseUtilityOptions(arguments);
    switch (parsed.eOutcome) {
    case EParseOutcome::Help:
    case EParseOutcome::Version: std::fprintf(stdout, "%s\n", parsed.strText.toLocal8Bit().constData()); return 0;
    case EParseOutcome::Error:
        std::fprintf(stderr, "%s\nTry '%s --help'.\n", parsed.strText.toLocal8Bit().constData(),
                     argc > 0 ? argv[0] : "Vexal_Configuration_Utility");
        return 2;
    case EParseOutcome::Run: break;
    }

    PrepareLogDirectory();
    QApplication app(argc, argv);
    InitResources();
    QApplication::setApplicationDisplayName(QStringLiteral("Vexal Utility"));
    QApplication::setDesktopFileName(QStringLiteral("vexal-configuration-utility"));
    QIcon icon(QStringLiteral(":/vexal/vexal-configuration-utility.svg"));
    for (int nSize : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/vexal/vexal-configuration-utility-%1.png").arg(nSize), QSize(nSize, nSize));
    QApplication::setWindowIcon(icon);

    CQtDialogServices services;
    CLumaroDlg dlg(services, parsed.options);
    // The end of the application also takes the one way out.
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &dlg, [&dlg] { dlg.Shutdown(); });
    QTimer::singleShot(0, &dlg, [&dlg] { dlg.Start(); });
    dlg.exec();
    dlg.Shutdown();
    return 0;
}

}  // namespace vexal::utility
