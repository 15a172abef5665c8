#include "app/install_paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdlib>

namespace vantrel::app {
namespace {

QString besideProgram(const char* relative, const QString& name) {
    const QString path = QDir::cleanPath(QCoreApplication::applicationDirPath() + QLatin1Char('/') +
                                         QLatin1String(relative) + QLatin1Char('/') + name);
    return QFileInfo::exists(path) ? path : QString();
}

}  // namespace

QString installedHelpPage() { return besideProgram(VANTREL_DOCDIR_FROM_BINDIR, QStringLiteral("VantrelChat.htm")); }

QString installedDataFolder() { return besideProgram(VANTREL_DATADIR_FROM_BINDIR, QString()); }

QString keyingGuardianProgram() {
    const QString path = besideProgram(".", QStringLiteral("vantrel-guardian"));
    return QFileInfo(path).isExecutable() ? path : QString();
}

std::filesystem::path menuWorkDirectory() {
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    std::filesystem::path base;
    if (dataHome && std::filesystem::path(dataHome).is_absolute()) {
        base = dataHome;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !std::filesystem::path(home).is_absolute()) return {};
        base = std::filesystem::path(home) / ".local" / "share";
    }
    return base / "vantrel-chat";
}

}  // namespace vantrel::app
