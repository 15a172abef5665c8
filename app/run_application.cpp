#include "app/run_application.h"

#include <QApplication>
#include <QMenu>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

#include "app/main_dialog.h"
#include "app/settings.h"

static void initialiseVantrelQrc() { Q_INIT_RESOURCE(vantrel); }

namespace vantrel::app {
namespace {

int signalPipe[2] = {-1, -1};

extern "C" void onTerminatingSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

// SIGINT, SIGTERM and SIGHUP end the program through the normal close-down, so the radio is
// unkeyed and the settings are written. Handlers only write to a pipe; the GUI thread reads it.
bool installSignalPipe() {
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    struct sigaction action {};
    action.sa_handler = onTerminatingSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(sig, &action, nullptr);
    return true;
}

// Closes whatever modal box or menu is open, then the main window once the nested loops have
// returned.
void closeFromSignal(MainDialog& dialog) {
    for (int i = 0; i < 16 && QApplication::activePopupWidget(); ++i) QApplication::activePopupWidget()->close();
    for (int i = 0; i < 16 && QApplication::activeModalWidget(); ++i) QApplication::activeModalWidget()->close();
    QTimer::singleShot(0, &dialog, [&dialog] { dialog.close(); });
}

}  // namespace

void initialiseResources() { initialiseVantrelQrc(); }

bool displayAvailable() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value && *value) return true;
    }
    return false;
}

int runApplication(int argc, char** argv) {
    if (!displayAvailable()) {
        std::fprintf(stderr, "vantrel-chat: no display to open the window on (DISPLAY and WAYLAND_DISPLAY are not set)\n");
        return 2;
    }
    // First of all, so a signal during start-up is kept and honoured once the window exists.
    const bool signalsCaught = installSignalPipe();
    AppSettings settings = loadSettings(kSettingsFileName);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vantrel-chat"));
    initialiseResources();

    MainDialog dialog(std::move(settings), QString::fromLatin1(kSettingsFileName));
    if (signalsCaught) {
        auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &dialog);
        QObject::connect(notifier, &QSocketNotifier::activated, &dialog, [&dialog] {
            char buffer[16];
            while (::read(signalPipe[0], buffer, sizeof buffer) > 0) {}
            closeFromSignal(dialog);
        });
    }
    // The program ends with its window, even while a help window of its own is still open.
    QObject::connect(&dialog, &MainDialog::closedDown, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    dialog.initialise();
    dialog.show();
    const int status = QApplication::exec();
    dialog.closeDown();
    return status;
}

}  // namespace vantrel::app
