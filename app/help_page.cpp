#include "app/help_page.h"

#include "app/install_paths.h"

#include <QFile>
#include <QStandardPaths>
#include <QTextBrowser>
#include <QWidget>

namespace vantrel::app {
namespace {

const QString kResourcePage = QStringLiteral(":/VantrelChat.htm");

bool writeOut(const QString& path) {
    QFile::remove(path);  // a dangling or empty leftover would stop the copy
    if (!QFile::copy(kResourcePage, path)) return false;
    // Resource files come out read-only; the operator may want to edit the page.
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    return true;
}

}  // namespace

QString helpPagePath(const QDir& dir) {
    const QString local = dir.filePath(QLatin1String(kHelpFileName));
    if (QFile::exists(local)) return local;
    // An installed program opens its installed page rather than copying it into every folder.
    if (const QString installed = installedHelpPage(); !installed.isEmpty()) return installed;
    if (writeOut(local)) return local;
    const QString tempDir = QStandardPaths::writableLocation(QStandardPaths::TempLocation);
    const QString fallback = QDir(tempDir).filePath(QStringLiteral("vantrel-chat-%1-%2")
                                                        .arg(QString::fromLatin1(qgetenv("USER")))
                                                        .arg(QLatin1String(kHelpFileName)));
    if (writeOut(fallback)) return fallback;
    return {};
}

QWidget* openHelp(QWidget* parent, const QDir& dir, const UrlOpener& opener) {
    const QString path = helpPagePath(dir);
    if (!path.isEmpty() && opener && opener(QUrl::fromLocalFile(path))) return nullptr;

    // No browser: our own window, so the operator still gets the page.
    auto* browser = new QTextBrowser(parent);
    browser->setWindowFlags(Qt::Window);
    browser->setAttribute(Qt::WA_DeleteOnClose);
    browser->setObjectName(QStringLiteral("HelpBrowser"));
    browser->setWindowTitle(QStringLiteral("Vantrel Chat help"));
    browser->setOpenExternalLinks(true);
    browser->setSource(path.isEmpty() ? QUrl(QStringLiteral("qrc") + kResourcePage) : QUrl::fromLocalFile(path));
    browser->resize(720, 640);
    browser->show();
    return browser;
}

}  // namespace vantrel::app
