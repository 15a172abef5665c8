#include "app/run_application.h"

#include <QApplication>
#include <QMenu>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "app/command_line.h"
#include "app/control_ids.h"
#include "app/install_paths.h"
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

// A start from the desktop menu works in a folder of the user's own, never in whatever folder
// the desktop happened to start it in (the home folder's root, or /).
void enterMenuWorkDirectory() {
    const std::filesystem::path dir = menuWorkDirectory();
    std::error_code ec;
    if (dir.empty() || (std::filesystem::create_directories(dir, ec), ec) ||
        (std::filesystem::current_path(dir, ec), ec)) {
        std::fprintf(stderr, "vantrel-chat: cannot work in %s (%s); staying in the current folder\n",
                     dir.empty() ? "$XDG_DATA_HOME/vantrel-chat" : dir.c_str(),
                     dir.empty() ? "neither XDG_DATA_HOME nor HOME is set" : ec.message().c_str());
    }
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
    const ChatOptions options = parseChatOptions(std::vector<std::string>(argv + std::min(argc, 1), argv + argc));
    if (!options.error.empty()) {
        std::fprintf(stderr, "vantrel-chat: %s (try --help)\n", options.error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(kChatUsage, stdout);
        return 0;
    }
    if (options.version) {
        std::printf("vantrel-chat %s\n", VANTREL_VERSION);
        return 0;
    }
    if (!displayAvailable()) {
        std::fprintf(stderr, "vantrel-chat: no display to open the window on (DISPLAY and WAYLAND_DISPLAY are not set)\n");
        return 2;
    }
    // First of all, so a signal during start-up is kept and honoured once the window exists.
    const bool signalsCaught = installSignalPipe();
    std::string recording = options.play;
    if (options.fromMenu) {
        std::error_code ec;
        if (!recording.empty()) recording = std::filesystem::absolute(recording, ec).string();
        enterMenuWorkDirectory();
    }
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
    if (const modem::ModeProfile* start = modem::profileByBaud(options.speed)) dialog.setStartSpeed(*start);
    dialog.initialise(QString::fromStdString(recording));
    dialog.show();
    if (options.browser) dialog.dispatchCommand(command::kSignalBrowser);
    const int status = QApplication::exec();
    dialog.closeDown();
    return status;
}

}  // namespace vantrel::app
