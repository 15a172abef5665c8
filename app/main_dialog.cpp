#include "app/main_dialog.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QStyle>

#include <algorithm>
#include <cstdio>
#include <cmath>

#include "app/band_watch.h"
#include "app/chat_station.h"
#include "app/operator_desk.h"
#include "audio/qt_message_boxes.h"
#include "audio/return_release_guard.h"
#include "app/control_ids.h"
#include "app/rx_screen.h"
#include "app/signal_browser.h"
#include "app/small_dialogs.h"
#include "app/status_line.h"
#include "app/tx_entry.h"

namespace vantrel::app {
namespace {

// The program's fonts by their own names; where they are not installed, their metric-compatible
// free equivalents (which fontconfig also substitutes for them).
QFont paneFont() {
    QFont font(QStringLiteral("Courier New"), 10, QFont::Normal);
    font.setFamilies({QStringLiteral("Courier New"), QStringLiteral("Liberation Mono")});
    font.setStyleHint(QFont::TypeWriter);
    return font;
}

QFont labelFont(int points, bool bold) {
    QFont font(QStringLiteral("Arial"), points, bold ? QFont::Bold : QFont::Normal);
    font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
    font.setStyleHint(QFont::SansSerif);
    return font;
}

template <typename W>
W* tag(W* widget, int id, const char* name) {
    widget->setProperty("controlId", id);
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QFrame* sunkenFrame(QWidget* parent, int id, const char* name) {
    auto* frame = tag(new QFrame(parent), id, name);
    frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    frame->setLineWidth(2);
    return frame;
}

// The layout rule's lowest row ends 496 pixels down once the receive pane has its least height;
// at this width the idle-text field keeps room for a call sign beside the longest bar.
constexpr int kMinClientHeight = 496;
constexpr int kMinClientWidth = 720;

}  // namespace

MainDialog::MainDialog(AppSettings settings, QString settingsPath, StationParts parts, QWidget* parent)
    : QMainWindow(parent), settings_(std::move(settings)), settingsPath_(std::move(settingsPath)),
      prefsPath_(settingsPath_.isEmpty() ? QString() : QFileInfo(settingsPath_).dir().filePath(QString::fromLatin1(kPrefsFileName))),
      prefs_(loadStationPrefs(prefsPath_)), workDir_(QDir::current()), ownMessages_(std::make_unique<audio::QtMessageBoxes>(this)), messages_(ownMessages_.get()) {
    setObjectName(QStringLiteral("MainDialog"));
    setWindowTitle(QString::fromLatin1(profile_->windowTitle.data(), static_cast<qsizetype>(profile_->windowTitle.size())));
    setWindowIcon(QIcon(QStringLiteral(":/icon2.png")));
    station_ = std::make_unique<ChatStation>(*this, std::move(parts));
    createControls();
    // Releasing Return in the entry clicks SEND, synchronously, and the entry keeps the focus.
    keyFilter_ = new audio::ReturnReleaseGuard(txEntry_, [this] {
        sendButton_->click();
        txEntry_->setFocus(Qt::OtherFocusReason);
    });
    createMenus();
    statusLine_ = new StatusLine(this);
    setStatusBar(statusLine_);
    station_->desk().attach();
    // The help key opens the same page as "Help".
    auto* help = new QShortcut(QKeySequence::HelpContents, this);
    help->setContext(Qt::WindowShortcut);
    connect(help, &QShortcut::activated, this, [this] { dispatchCommand(command::kHelp); });
    // Escape stops a transmission at once, as RECV does. It is armed only while RECV is, so
    // the rest of the time Escape still reaches whatever else wants it.
    escapeStop_ = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escapeStop_->setContext(Qt::WindowShortcut);
    escapeStop_->setEnabled(recvButton_->isEnabled());
    connect(escapeStop_, &QShortcut::activated, this, [this] {
        if (recvButton_->isEnabled()) dispatchCommand(command::kRecv);
    });
    recvButton_->installEventFilter(this);
    resize(dluX(615), dluY(320) + menuBar()->sizeHint().height() + statusLine_->sizeHint().height());
    setMinimumWindowSize();
}

void MainDialog::setMinimumWindowSize() {
    // Every control inside the window, the menus on one row and the status line whole.
    const int width = std::max({kMinClientWidth, menuBar()->sizeHint().width(), statusLine_->minimumSizeHint().width()});
    setMinimumSize(width, kMinClientHeight + menuBar()->sizeHint().height() + statusLine_->sizeHint().height());
}

MainDialog::~MainDialog() {
    closeDown();
    // The browser keeps its place as it closes, through the station it shows.
    delete browser_;
    // The station's components refer to the controls: end them first.
    station_.reset();
}

bool MainDialog::savePrefs() { return saveStationPrefs(prefs_, prefsPath_); }

void MainDialog::setMessageBoxes(audio::MessageBoxes* boxes) { messages_ = boxes ? boxes : ownMessages_.get(); }

void MainDialog::createControls() {
    client_ = new QWidget(this);
    client_->setObjectName(QStringLiteral("client"));
    setCentralWidget(client_);
    client_->installEventFilter(this);

    rxScreen_ = tag(new RxScreen(client_), control::kRxScreen, "RxScreen");
    rxScreen_->setFont(paneFont());
    QPalette rxPalette = rxScreen_->palette();
    rxPalette.setColor(QPalette::Base, QColor(255, 255, 224));
    rxPalette.setColor(QPalette::Text, Qt::black);
    rxScreen_->setPalette(rxPalette);

    createRightColumn();

    txEntry_ = tag(new TxEntry(client_), control::kTxEntry, "TxEntry");
    txEntry_->setFont(paneFont());
    QPalette txPalette = txEntry_->palette();
    txPalette.setColor(QPalette::Base, QColor(255, 228, 225));
    txPalette.setColor(QPalette::Text, QColor(0, 0, 255));
    txEntry_->setPalette(txPalette);

    sendButton_ = tag(new QPushButton(QStringLiteral("SEND"), client_), control::kSendButton, "SendButton");
    recvButton_ = tag(new QPushButton(QStringLiteral("RECV"), client_), control::kRecvButton, "RecvButton");
    sendButton_->setAutoDefault(false);
    recvButton_->setAutoDefault(false);
    connect(sendButton_, &QAbstractButton::clicked, this, [this] { dispatchCommand(command::kSend); });
    connect(recvButton_, &QAbstractButton::clicked, this, [this] { dispatchCommand(command::kRecv); });
    attackMed_->setChecked(true);
    recvButton_->setEnabled(false);

    createStatusRow();
    waterfallView_ = station_->createWaterfallView(client_);
    if (waterfallView_) waterfallView_->raise();

    // Tuning by drag and the squelch click reach the window through its client area: moves
    // over the frames and meters pass on to it.
    for (QWidget* w : {client_, waterfallFrame_, syncFrameLeft_, syncFrameRight_, snrBar_, snrScale_, attackFrame_,
                       static_cast<QWidget*>(attackLabel_)})
        w->setMouseTracking(true);
}

void MainDialog::createRightColumn() {
    waterfallFrame_ = sunkenFrame(client_, control::kWaterfallFrame, "WaterfallFrame");
    syncFrameLeft_ = sunkenFrame(client_, control::kSyncFrameLeft, "SyncFrameLeft");
    syncFrameRight_ = sunkenFrame(client_, control::kSyncFrameRight, "SyncFrameRight");
    snrBar_ = tag(station_->createSnrBar(client_), control::kSnrBar, "SnrBar");

    auto* attackFrame = tag(new QFrame(client_), control::kAttackFrame, "AttackFrame");
    attackFrame->setFrameStyle(QFrame::Box | QFrame::Sunken);  // etched
    attackFrame_ = attackFrame;
    attackGroup_ = new QButtonGroup(this);
    attackGroup_->setExclusive(true);
    auto makeAttack = [this](int id, const char* name, const char* text) {
        auto* button = tag(new QRadioButton(QLatin1String(text), client_), id, name);
        button->setFont(labelFont(8, false));
        attackGroup_->addButton(button, id);
        connect(button, &QAbstractButton::clicked, this, [this, id] { dispatchCommand(id); });
        return button;
    };
    attackFast_ = makeAttack(control::kAttackFast, "AttackFast", "Fast");
    attackMed_ = makeAttack(control::kAttackMed, "AttackMed", "Med");
    attackSlow_ = makeAttack(control::kAttackSlow, "AttackSlow", "Slow");
    attackFast_->setFocusPolicy(Qt::StrongFocus);
    attackLabel_ = tag(new QLabel(QStringLiteral("Squelch\n  attack"), client_), control::kAttackLabel, "AttackLabel");
    attackLabel_->setTextFormat(Qt::PlainText);
    attackLabel_->setFont(labelFont(8, true));
    snrScale_ = tag(station_->createSnrScale(client_), control::kSnrScale, "SnrScale");
}

void MainDialog::createStatusRow() {
    remainingLine_ = tag(new QLineEdit(client_), control::kRemainingLine, "RemainingLine");
    remainingLine_->setReadOnly(true);
    remainingLine_->setFocusPolicy(Qt::NoFocus);
    remainingBar_ = tag(station_->createRemainingBar(client_), control::kRemainingBar, "RemainingBar");

    // Other station's idle text at the status row's right end: the bar never draws past 0.61 of its width, the right column has no free pixel.
    secondaryText_ = tag(new QLineEdit(client_), control::kSecondaryText, "SecondaryText");
    secondaryText_->setReadOnly(true);
    secondaryText_->setFocusPolicy(Qt::NoFocus);
    secondaryText_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    secondaryText_->setFont(paneFont());
    secondaryText_->setPlaceholderText(QStringLiteral("idle text"));
    secondaryText_->setToolTip(QStringLiteral("Idle text of the station on the air, usually its call sign"));
    secondaryText_->raise();
}

void MainDialog::initialise(const QString& recording) {
    txEntry_->clear();
    txEntry_->moveCaretToEnd();
    txEntry_->setFocus(Qt::OtherFocusReason);
    squelchAttack_ = 1;
    settings_.captureTop = modem::kMaxCaptureTop;
    station_->bandWatch().setRunning(prefs_.browserAlwaysRun);
    station_->initialise(recording);
}

void MainDialog::layout(int w, int h) {
    const int r = std::max(h - 78, 420);
    const auto place = [](QWidget* widget, int x, int y, int width, int height) {
        if (widget) widget->setGeometry(x, y, std::max(width, 0), std::max(height, 0));
    };
    place(rxScreen_, 0, 0, w - 120, r);
    place(txEntry_, 0, r + 2, w - 120, 54);
    place(sendButton_, w - 118, r + 3, 60, 51);
    place(recvButton_, w - 58, r + 3, 58, 51);
    place(remainingLine_, 0, r + 56, 200, 20);
    place(remainingBar_, 200, r + 56, w, 20);
    place(waterfallFrame_, w - 118, 0, 120, 245);
    place(syncFrameLeft_, w - 118, 246, 58, 38);
    place(syncFrameRight_, w - 58, 246, 58, 38);
    place(attackFrame_, w - 115, 285, 52, 135);
    place(attackFast_, w - 113, 295, 47, 14);
    place(attackMed_, w - 113, 325, 47, 14);
    place(attackSlow_, w - 113, 355, 47, 14);
    place(attackLabel_, w - 113, 383, 45, 30);
    place(snrScale_, w - 60, 285, 20, 140);
    place(snrBar_, w - 38, 285, 30, 140);
    place(waterfallView_, w - 118, 0, 118, 285);
    layoutSecondaryText(w, r);
    settings_.lastClientHeight = h;
    settings_.lastClientWidth = w;
    client_->update();
}

void MainDialog::layoutSecondaryText(int w, int r) {
    // The free end of the status row, past the longest bar, is the idle text's alone.
    const int x = 200 + static_cast<int>(std::nearbyint(0.61 * w)) + 4;
    const int width = w - x - 2;
    secondaryText_->setVisible(width >= 48);
    secondaryText_->setGeometry(x, r + 56, std::max(width, 0), 20);
}

void MainDialog::appendSecondaryText(std::span<const std::uint8_t> characters) {
    station_->desk().heardIdleText(characters);
}

void MainDialog::showDialReading(const QString& text) {
    statusLine_->showDial(text);
    showTuning();
}

void MainDialog::showTuning() { statusLine_->showTuning(station_->tuningFrequency(), station_->rig().dial()); }

QLabel* MainDialog::dialReading() const { return statusLine_->dial(); }

QWidget* MainDialog::control(int controlId) const {
    const auto widgets = findChildren<QWidget*>();
    for (QWidget* widget : widgets)
        if (widget->property("controlId").toInt() == controlId) return widget;
    return nullptr;
}

QAction* MainDialog::action(int commandId) const {
    const auto it = actions_.find(commandId);
    return it == actions_.end() ? nullptr : it->second;
}

bool MainDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == recvButton_ && event->type() == QEvent::EnabledChange && escapeStop_)
        escapeStop_->setEnabled(recvButton_->isEnabled());
    if (watched == client_) {
        if (event->type() == QEvent::Resize && !isMinimized()) layout(client_->width(), client_->height());
        routeMouse(client_, event);
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainDialog::routeMouse(QWidget* watched, QEvent* event) {
    const auto type = event->type();
    if (type != QEvent::MouseMove && type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease) return;
    const auto* mouse = static_cast<QMouseEvent*>(event);
    const QPoint at = mouse->position().toPoint();
    if (type == QEvent::MouseMove) {
        station_->mouseMoved(at.x(), at.y());
    } else if (mouse->button() == Qt::LeftButton && type == QEvent::MouseButtonPress) {
        QWidget* under = watched->childAt(at);
        const bool onMeter = under == snrBar_;
        station_->leftButtonDown(onMeter, onMeter ? snrBar_->mapFrom(watched, at).y() : 0);
    } else if (mouse->button() == Qt::LeftButton) {
        station_->leftButtonUp();
    }
}

void MainDialog::changeEvent(QEvent* event) {
    // A minimised window has no client area: the layout runs for 0 x 0 and records it.
    if (event->type() == QEvent::WindowStateChange) {
        if (isMinimized())
            layout(0, 0);
        else
            layout(client_->width(), client_->height());
    }
    QMainWindow::changeEvent(event);
}

void MainDialog::closeEvent(QCloseEvent* event) {
    closeDown();
    event->accept();
}

void MainDialog::closeDown() {
    if (closedDown_) return;
    closedDown_ = true;
    station_->closeSerialPort();
    station_->storeSettings(settings_);
    if (!settingsPath_.isEmpty()) {
        // Too late for a message box; a line on the terminal still tells the operator.
        const SaveResult saved = saveSettings(settings_, settingsPath_.toStdString());
        if (!saved) std::fprintf(stderr, "vantrel-chat: %s was not written: %s\n", qPrintable(settingsPath_), saved.error.c_str());
    }
    station_->shutDown();
    if (keyFilter_) delete keyFilter_;
    emit closedDown();
}

}  // namespace vantrel::app
