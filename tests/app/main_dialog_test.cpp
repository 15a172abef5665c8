// The main window: its controls, the layout rule, the Return key, the menus and the commands.
#include <QAbstractButton>
#include <QAction>
#include <QFile>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include "app/control_ids.h"
#include "app/help_page.h"
#include "app/run_application.h"
#include "app/rx_screen.h"
#include "app/small_dialogs.h"
#include "app/status_line.h"
#include "app/tx_entry.h"
#include "app_test_support.h"
#include "audio/audio_engine.h"

using namespace vantrel::app;
using namespace vantrel::app::test;

class MainDialogTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { initialiseResources(); }
    void controlsCarryTheirIdentifiersFontsAndColours();
    void layoutFollowsTheRuleAtEverySize_data();
    void layoutFollowsTheRuleAtEverySize();
    void minimisedWindowRecordsAnEmptyClientArea();
    void atItsMinimumSizeTheWindowHoldsEveryControl();
    void returnInTheEntrySendsAndInsertsNoLineBreak();
    void menuBarHasEveryCaptionAndOneCheckedSpeed();
    void everyMenuCommandReachesItsAction();
    void speedChangeSetsCaptionCheckAndAudioRate();
    void attackAndSensitiveReceiveReachTheReceiver();
    void secondaryTextShowsInTheFreeEndOfTheStatusRow();
    void dragTunesAndAClickOnTheMeterSetsTheSquelch();
    void tuningAndTransmitLevelPromptsHoldTheirRange();
    void aClippedBlockWarnsWithoutMovingAnything();
    void portOpensAtStartWhenAskedAndApplyEndsATransmissionFirst();
    void exitWritesTheSettingsLikeClosingTheWindow();
    void ownPrefsLiveBesideTheSettingsAndFallBackKeyByKey();
    void everyWayOutOfATransmissionUnkeysTheRadio_data();
    void everyWayOutOfATransmissionUnkeysTheRadio();
};

void MainDialogTest::controlsCarryTheirIdentifiersFontsAndColours() {
    auto w = makeWindow();
    MainDialog& d = *w->dialog;
    const QStringList names = {"413 RxScreen",   "1678 WaterfallFrame", "679 SyncFrameLeft", "680 SyncFrameRight",
                               "550 SnrBar",     "1434 AttackFrame",    "1431 AttackFast",   "1432 AttackMed",
                               "1433 AttackSlow", "1435 AttackLabel",   "1430 SnrScale",     "430 TxEntry",
                               "313 SendButton", "314 RecvButton",      "800 RemainingLine", "1429 RemainingBar"};
    for (const QString& entry : names) {
        QWidget* widget = d.control(entry.section(' ', 0, 0).toInt());
        QVERIFY2(widget && widget->objectName() == entry.section(' ', 1), qPrintable(entry));
    }
    QCOMPARE(d.windowTitle(), QStringLiteral("Vantrel 11 Baud Chat mode"));
    QVERIFY(!d.windowIcon().isNull());
    QVERIFY(d.sendButton()->isEnabled() && !d.recvButton()->isEnabled());
    QVERIFY(qobject_cast<QRadioButton*>(d.control(control::kAttackMed))->isChecked());
    QCOMPARE(qobject_cast<QLabel*>(d.control(control::kAttackLabel))->text(), QStringLiteral("Squelch\n  attack"));
    // The program's own font names; a machine without them shows their metric-compatible
    // equivalents.
    QCOMPARE(d.control(control::kAttackFast)->font().family(), QStringLiteral("Arial"));
    QVERIFY(QStringList({"Arial", "Liberation Sans"}).contains(QFontInfo(d.control(control::kAttackFast)->font()).family()));
    QVERIFY(d.control(control::kAttackLabel)->font().bold());
    QCOMPARE(d.rxScreen()->font().family(), QStringLiteral("Courier New"));
    QCOMPARE(d.txEntry()->font().family(), QStringLiteral("Courier New"));
    const QFontInfo pane(d.rxScreen()->font());
    QVERIFY2(QStringList({"Courier New", "Liberation Mono"}).contains(pane.family()), qPrintable(pane.family()));
    QVERIFY(pane.fixedPitch());
    QCOMPARE(d.txEntry()->font().pointSize(), 10);
    QCOMPARE(d.rxScreen()->palette().color(QPalette::Base), QColor(255, 255, 224));
    QCOMPARE(d.txEntry()->palette().color(QPalette::Base), QColor(255, 228, 225));
    QCOMPARE(d.txEntry()->palette().color(QPalette::Text), QColor(0, 0, 255));
}

void MainDialogTest::layoutFollowsTheRuleAtEverySize_data() {
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    QTest::newRow("start size") << 923 << 520;
    QTest::newRow("shorter than 498") << 640 << 400;
    QTest::newRow("exactly 498") << 700 << 498;
    QTest::newRow("large") << 1600 << 1000;
}

void MainDialogTest::layoutFollowsTheRuleAtEverySize() {
    QFETCH(int, w);
    QFETCH(int, h);
    auto win = makeWindow();
    MainDialog& d = *win->dialog;
    // A real resize: the client area is what lies between the menu bar and the status line.
    // Below the window's minimum size the rule is applied as such.
    d.show();
    const int chrome = d.menuBar()->height() + d.statusLine()->height();
    d.resize(w, h + chrome);
    if (w >= d.minimumWidth() && h + chrome >= d.minimumHeight()) {
        QTRY_COMPARE(d.client()->size(), QSize(w, h));
    } else {
        QTRY_COMPARE(d.size(), d.size().expandedTo(d.minimumSize()));
        d.layout(w, h);
    }
    QCOMPARE(d.client()->geometry().top(), d.menuBar()->geometry().bottom() + 1);
    QCOMPARE(d.statusLine()->geometry().top(), d.client()->geometry().bottom() + 1);
    const int r = std::max(h - 78, 420);
    const QList<QPair<int, QRect>> expected = {
        {413, {0, 0, w - 120, r}},       {430, {0, r + 2, w - 120, 54}},  {313, {w - 118, r + 3, 60, 51}},
        {314, {w - 58, r + 3, 58, 51}},  {800, {0, r + 56, 200, 20}},     {1429, {200, r + 56, w, 20}},
        {1678, {w - 118, 0, 120, 245}},  {679, {w - 118, 246, 58, 38}},   {680, {w - 58, 246, 58, 38}},
        {1434, {w - 115, 285, 52, 135}}, {1431, {w - 113, 295, 47, 14}},  {1432, {w - 113, 325, 47, 14}},
        {1433, {w - 113, 355, 47, 14}},  {1435, {w - 113, 383, 45, 30}},  {1430, {w - 60, 285, 20, 140}},
        {550, {w - 38, 285, 30, 140}}};
    for (const auto& [id, rect] : expected) QCOMPARE(d.control(id)->geometry(), rect);
    QCOMPARE(d.settings().lastClientHeight, h);
    QCOMPARE(d.settings().lastClientWidth, w);
}

void MainDialogTest::atItsMinimumSizeTheWindowHoldsEveryControl() {
    auto win = makeWindow();
    MainDialog& d = *win->dialog;
    d.show();
    d.resize(100, 100);
    QTRY_COMPARE(d.size(), d.minimumSize());
    // By the rule the bar runs past every window's edge and the waterfall's frame by 2 pixels.
    const QRect room = d.client()->rect().adjusted(0, 0, 2, 0);
    for (QWidget* w : d.client()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (w->isVisible() && w != d.remainingBar()) QVERIFY2(room.contains(w->geometry()), qPrintable(w->objectName()));
    QVERIFY(d.secondaryText()->isVisible());
    QCOMPARE(d.menuBar()->height(), d.menuBar()->sizeHint().height());  // the menus on one row
    for (QLabel* w : d.statusLine()->findChildren<QLabel*>())
        QVERIFY2(!w->isVisible() || d.statusLine()->rect().contains(w->geometry()), qPrintable(w->objectName()));
}

void MainDialogTest::minimisedWindowRecordsAnEmptyClientArea() {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Settings.ini"));
    auto win = makeWindow({}, file);
    MainDialog& d = *win->dialog;
    d.show();
    d.setWindowState(Qt::WindowMinimized);
    QTRY_COMPARE(d.settings().lastClientWidth, 0);
    QCOMPARE(d.settings().lastClientHeight, 0);
    QCOMPARE(d.rxScreen()->height(), 420);
    d.close();
    const AppSettings back = loadSettings(file.toStdString());
    QCOMPARE(back.lastClientHeight, 100);
    QCOMPARE(back.lastClientWidth, 100);
}

void MainDialogTest::returnInTheEntrySendsAndInsertsNoLineBreak() {
    auto win = makeWindow();
    MainDialog& d = *win->dialog;
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    QTest::keyClicks(d.txEntry(), QStringLiteral("hello"));
    QTest::keyClick(d.txEntry(), Qt::Key_Return);
    QCOMPARE(d.txEntry()->toPlainText(), QStringLiteral("hello"));  // no line break, kept while sending
    QCOMPARE(d.rxScreen()->textCrLf(), QStringLiteral("\r\nnocall: hello            "));
    QVERIFY(!d.sendButton()->isEnabled() && d.recvButton()->isEnabled());
    QVERIFY(d.station().engine().transmitting());
    QVERIFY(d.txEntry()->hasFocus());

    // A release alone (its press closed a message box) sends nothing.
    QTest::mouseClick(d.recvButton(), Qt::LeftButton);
    QTest::keyRelease(d.txEntry(), Qt::Key_Return);
    QVERIFY(!d.station().engine().transmitting());
    QTest::keyClick(d.txEntry(), Qt::Key_Return);
    QCOMPARE(d.rxScreen()->textCrLf().count(QStringLiteral("nocall:")), 2);

    // Enter on the keypad too; SEND is disabled while sending, so nothing is echoed twice.
    QTest::keyClick(d.txEntry(), Qt::Key_Enter);
    QCOMPARE(d.rxScreen()->textCrLf().count(QStringLiteral("nocall:")), 2);

    // What is typed during the transmission goes after the sentence and stays; the sentence,
    // stopped before any of it was played, stays in front, selected, and its echo says so.
    QTest::keyClicks(d.txEntry(), QStringLiteral(" world"));
    QTest::mouseClick(d.recvButton(), Qt::LeftButton);
    QCOMPARE(d.txEntry()->toPlainText(), QStringLiteral("hello world"));
    QCOMPARE(d.txEntry()->textCursor().selectedText(), QStringLiteral("hello"));
    QVERIFY(d.rxScreen()->textCrLf().endsWith(QStringLiteral("\r\nnocall: [stopped]            ")));
    QVERIFY(d.sendButton()->isEnabled() && !d.recvButton()->isEnabled());
    QVERIFY(!d.station().ptt().isKeyed());
}

void MainDialogTest::menuBarHasEveryCaptionAndOneCheckedSpeed() {
    auto win = makeWindow();
    MainDialog& d = *win->dialog;
    QStringList seen;
    for (QAction* popup : d.menuBar()->actions()) {
        seen << popup->text();
        for (QAction* item : popup->menu()->actions())
            seen << QStringLiteral("%1 %2").arg(item->property("commandId").toInt()).arg(item->text());
    }
    QCOMPARE(seen, QStringList({"&File", "439 Save RX screen to file NOW", "402 Exit", "&Mode",
                                "1500 4 baud double spaced", "1501 5 baud double spaced", "1502 8 baud double spaced",
                                "1503 11 baud single spaced", "1504 16 baud single spaced", "1505 22 baud single spaced",
                                "&Options", "502 Callsign", "909 PTT settings", "915 Rig control (Hamlib)", "926 Transmit level...",
                                "921 Transmit time limit...",
                                "922 Receive log", "923 Time stamps", "M&acros", "930 &1  CQ CQ CQ de <MYCALL> <MYCALL> pse K",
                                "931 &2  <CALL> de <MYCALL>", "932 &3  <CALL> de <MYCALL> tnx for the QSO, 73 SK",
                                "933 &4  (empty)", "934 &5  (empty)", "935 &6  (empty)", "936 &7  (empty)", "937 &8  (empty)",
                                "0 ", "938 &Edit macros...", "939 &Log this QSO...",
                                "&Tools", "604 Squelch trigger level", "908 Bandwidth capture range", "906 Clear RX screen",
                                "920 Sensitive receive", "925 Tuning frequency...", "924 Signal browser",
                                "&Soundcard", "253 Audio control panel", "250 Input", "251 Output",
                                "254 Play a recording into the receiver...", "&Help", "409 Help",
                                "410 About"}));
    for (int id = 1500; id <= 1505; ++id) QCOMPARE(d.action(id)->isChecked(), id == 1503);
}

void MainDialogTest::everyMenuCommandReachesItsAction() {
    QTemporaryDir dir;
    auto win = makeWindow();
    MainDialog& d = *win->dialog;
    d.setWorkDirectory(QDir(dir.path()));
    QStringList prompts;
    d.setPrompter([&prompts](const QString&, const QString& title, const QString&) {
        prompts << title;
        return title == QStringLiteral("CALLSIGN") ? QStringLiteral("G4XYZ") : QStringLiteral("22");
    });
    ModalCloser closer;

    d.rxScreen()->appendReceived('A');
    d.action(command::kSaveRxScreen)->trigger();
    const QStringList saved = QDir(dir.path()).entryList({QStringLiteral("Vantrel*.doc")});
    QCOMPARE(saved.size(), 1);
    QCOMPARE(d.statusLine()->currentMessage(), QStringLiteral("RX screen saved to ") + QDir(dir.path()).absoluteFilePath(saved[0]));
    d.action(command::kClearRxScreen)->trigger();
    QVERIFY(d.rxScreen()->toPlainText().isEmpty());
    d.action(command::kCallsign)->trigger();
    QCOMPARE(d.settings().callsign, std::string("G4XYZ"));
    d.action(command::kSquelchLevel)->trigger();
    QCOMPARE(d.settings().squelchLevel, 22);
    d.action(command::kCaptureRange)->trigger();
    QCOMPARE(d.settings().captureTop, 22);
    QCOMPARE(prompts, QStringList({"CALLSIGN", "Squelch trigger level", "Bandwidth capture range"}));

    // Help and F1 show one viewer; Escape and Ctrl+W close it; nothing is written to show it.
    d.action(command::kHelp)->trigger();
    QPointer<HelpViewer> viewer = d.helpViewer();
    QVERIFY(viewer && viewer->isVisible() && viewer->toPlainText().contains(QStringLiteral("dialout")));
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    QTest::keyClick(d.txEntry(), Qt::Key_F1);
    QCOMPARE(d.findChildren<HelpViewer*>(), QList<HelpViewer*>{viewer});
    for (const QKeySequence& key : {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
        QTest::keySequence(viewer, key);
        QTRY_VERIFY(!viewer);
        d.dispatchCommand(command::kHelp);
        viewer = d.helpViewer();
    }
    QVERIFY(QDir(dir.path()).entryList({QStringLiteral("*.htm")}).isEmpty());

    for (int id : {command::kAbout, command::kInput, command::kOutput, command::kPttSettings}) d.action(id)->trigger();
    QCOMPARE(closer.titles.mid(0, 3), QStringList({"About Orlix", "Select soundcard input", "Select soundcard output"}));
    QVERIFY(closer.titles.value(3).contains(QStringLiteral("Comms STOPPED")));
    d.dispatchCommand(12345);  // not a command: nothing happens
    QCOMPARE(closer.titles.size(), 4);
}

void MainDialogTest::speedChangeSetsCaptionCheckAndAudioRate() {
    auto win = makeWindow();
    MainDialog& d = *win->dialog;
    for (const vantrel::modem::ModeProfile& p : vantrel::modem::kProfiles) {
        const int opens = win->capture->openCount();
        d.action(p.commandId)->trigger();
        QCOMPARE(d.windowTitle(), QString::fromLatin1(p.windowTitle.data(), p.windowTitle.size()));
        for (int id = 1500; id <= 1505; ++id) QCOMPARE(d.action(id)->isChecked(), id == p.commandId);
        QCOMPARE(win->capture->openCount(), opens + 1);  // also for the current speed again
        QCOMPARE(win->capture->sampleRate(), p.sampleRate);
        QCOMPARE(d.station().waterfall().sampleRate(), p.sampleRate);
    }
    // Capture refusing to open: the speed is current anyway, the operator is told, no new scale.
    win->capture->failOpen = true;
    d.action(1504)->trigger();
    QCOMPARE(d.windowTitle(), QStringLiteral("Vantrel 16 Baud Chat mode"));
    QCOMPARE(win->messages.shown.last(), QStringLiteral("INPUT: Can't open soundcard for input"));
    QCOMPARE(d.station().waterfall().sampleRate(), 22050);
}

void MainDialogTest::attackAndSensitiveReceiveReachTheReceiver() {
    AppSettings s;
    s.sensitiveReceive = 1;
    auto win = makeWindow(s);
    MainDialog& d = *win->dialog;
    d.show();
    QTest::mouseClick(d.control(control::kAttackFast), Qt::LeftButton, {}, QPoint(5, 7));
    QCOMPARE(d.station().currentRxSettings().squelchAttack, 0);
    QTest::mouseClick(d.control(control::kAttackSlow), Qt::LeftButton, {}, QPoint(5, 7));
    QCOMPARE(d.station().currentRxSettings().squelchAttack, 3);
    QVERIFY(!qobject_cast<QRadioButton*>(d.control(control::kAttackFast))->isChecked());
    d.dispatchCommand(command::kAttackMed);
    QCOMPARE(d.squelchAttack(), 1);

    QVERIFY(d.action(command::kSensitiveReceive)->isChecked());
    QVERIFY(d.station().currentRxSettings().sensitive);
    d.action(command::kSensitiveReceive)->trigger();
    QVERIFY(!d.action(command::kSensitiveReceive)->isChecked());
    QCOMPARE(d.settings().sensitiveReceive, 0);
    QVERIFY(!d.station().currentRxSettings().sensitive);
}

void MainDialogTest::secondaryTextShowsInTheFreeEndOfTheStatusRow() {
    auto win = makeWindow();
    MainDialog& d = *win->dialog;
    d.show();
    d.layout(923, 520);
    const std::uint8_t idle[] = {'D', 'L', '1', 'A', 'B', 'C', ' ', ' '};
    for (int i = 0; i < 40; ++i) d.appendSecondaryText(idle);
    QCOMPARE(d.secondaryText()->text(), QStringLiteral("DL1ABC"));  // the call the idle text carries
    const QRect field = d.secondaryText()->geometry();
    QCOMPARE(field.top(), d.remainingBar()->geometry().top());
    QVERIFY(field.left() > 200 + qRound(0.61 * 923) && field.right() < 923);  // past the longest bar
    d.layout(500, 520);
    QVERIFY(!d.secondaryText()->isVisible());  // no room: hidden, not drawn over the bar
}

void MainDialogTest::dragTunesAndAClickOnTheMeterSetsTheSquelch() {
    auto win = makeWindow();
    MainDialog& d = *win->dialog;
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    const int w = d.client()->width();
    QTest::mouseMove(d.client(), QPoint(w - 50, 100));  // no button: the pointer only
    QCOMPARE(d.station().tuningFrequency(), 1000);
    QTest::mousePress(d.client(), Qt::LeftButton, {}, QPoint(w - 50, 100));
    QTest::mouseMove(d.client(), QPoint(w - 50, 90));
    QCOMPARE(d.station().currentRxSettings().tuningFrequency, 972);  // ten rows up at 11025 Hz
    QCOMPARE(qobject_cast<QLabel*>(d.control(control::kTuningReadout))->text(), QStringLiteral("Tuning 972 Hz"));
    QTest::mouseRelease(d.client(), Qt::LeftButton, {}, QPoint(w - 50, 90));
    QTest::mouseMove(d.client(), QPoint(w - 50, 60));
    QCOMPARE(d.station().tuningFrequency(), 972);

    QTest::mousePress(d.snrBar(), Qt::LeftButton, {}, QPoint(10, 35));
    QTest::mouseRelease(d.snrBar(), Qt::LeftButton, {}, QPoint(10, 35));
    QCOMPARE(d.settings().squelchLevel, qRound(0.61 * (dluY(83) - 35)));  // height as created
}

void MainDialogTest::tuningAndTransmitLevelPromptsHoldTheirRange() {
    QTemporaryDir dir;
    auto win = makeWindow({}, dir.filePath(QStringLiteral("Settings.ini")));
    MainDialog& d = *win->dialog;
    QString answer;
    d.setPrompter([&answer](const QString&, const QString&, const QString&) { return answer; });
    const QString tuning = QStringLiteral("Tuning frequency: Must be between 0 and 2500");
    const QString level = QStringLiteral("Transmit level: Must be between -30 and 0");
    struct Row { int id; const char* answer; int value; QString message; };
    for (const Row& row : {Row{command::kTuningFrequency, "1234.5", 1234, {}}, Row{command::kTuningFrequency, "3000", 2500, tuning},
                           Row{command::kTuningFrequency, "-5", 0, tuning}, Row{command::kTransmitLevel, "-12", -12, {}},
                           Row{command::kTransmitLevel, "-40", -30, level}, Row{command::kTransmitLevel, "", -30, {}}}) {
        win->messages.shown.clear();
        answer = QLatin1String(row.answer);
        d.dispatchCommand(row.id);
        QCOMPARE(win->messages.shown, row.message.isEmpty() ? QStringList() : QStringList{row.message});
        QCOMPARE(row.id == command::kTuningFrequency ? d.station().currentRxSettings().tuningFrequency
                                                     : loadStationPrefs(dir.filePath(QString::fromLatin1(kPrefsFileName))).transmitLevelDb,
                 row.value);
    }
    QCOMPARE(qobject_cast<QLabel*>(d.control(control::kTuningReadout))->text(), QStringLiteral("Tuning 0 Hz"));
}

void MainDialogTest::aClippedBlockWarnsWithoutMovingAnything() {
    auto win = makeWindow();
    MainDialog& d = *win->dialog;
    d.show();
    auto* input = qobject_cast<QLabel*>(d.control(control::kInputLevel));
    const QRect tuningAt = d.control(control::kTuningReadout)->geometry();
    // Three samples at full scale are a peak; four clip, and the warning is held for two more
    // clean blocks.
    auto block = [](int clipped) {
        std::vector<std::int16_t> b(vantrel::modem::kBlockLength, 0);
        b[100] = 8192;
        for (int i = 0; i < clipped; ++i) b[200 + static_cast<std::size_t>(i)] = i % 2 ? 32767 : -32768;
        return b;
    };
    QTRY_COMPARE(win->capture->queuedCount(), 2);
    const std::pair<int, QString> steps[] = {{3, QStringLiteral("Input 0 dBFS")}, {4, kOverloadText}, {0, kOverloadText},
                                             {0, kOverloadText}, {0, QStringLiteral("Input -12 dBFS")}};
    for (const auto& [clipped, shown] : steps) {
        win->capture->deliver(block(clipped));
        QTRY_COMPARE(win->capture->queuedCount(), 2);
        QCOMPARE(input->text(), shown);
    }
    QCOMPARE(d.control(control::kTuningReadout)->geometry(), tuningAt);
}

void MainDialogTest::portOpensAtStartWhenAskedAndApplyEndsATransmissionFirst() {
    QTemporaryDir dir;
    const QString conf = dir.filePath(QString::fromLatin1(kPrefsFileName));
    StationPrefs prefs;
    prefs.openPortAtStart = true;
    QVERIFY(saveStationPrefs(prefs, conf));
    AppSettings settings;
    settings.portIndex = 2;
    auto win = makeWindow(settings, dir.filePath(QStringLiteral("Settings.ini")));
    MainDialog& d = *win->dialog;
    QCOMPARE(win->serial->devicePath, std::string("/dev/ttyS1"));
    QVERIFY(win->serial->open);

    // APPLY on the air (with "Open the port at start" unticked): the transmission ends first.
    d.txEntry()->setPlainText(QStringLiteral("a long sentence that APPLY cuts short"));
    d.dispatchCommand(command::kSend);
    QVERIFY(d.station().ptt().isKeyed());
    QTimer::singleShot(50, [] {
        for (int id : {941, 1534})
            for (QWidget* w : QApplication::activeModalWidget()->findChildren<QAbstractButton*>())
                if (w->property("controlId").toInt() == id) qobject_cast<QAbstractButton*>(w)->click();
    });
    d.dispatchCommand(command::kPttSettings);
    QVERIFY(!d.station().engine().transmitting() && !d.station().ptt().isKeyed() && win->serial->open);
    QVERIFY(!loadStationPrefs(conf).openPortAtStart);
}

void MainDialogTest::exitWritesTheSettingsLikeClosingTheWindow() {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Settings.ini"));
    AppSettings s;
    s.callsign = "G4XYZ";
    auto win = makeWindow(s, file);
    MainDialog& d = *win->dialog;
    d.show();
    d.resize(800, 600 + d.menuBar()->height() + d.statusLine()->height());
    QTRY_COMPARE(d.client()->size(), QSize(800, 600));
    d.dispatchCommand(command::kExit);
    QVERIFY(!d.isVisible());
    const AppSettings back = loadSettings(file.toStdString());
    QCOMPARE(back.callsign, std::string("G4XYZ"));
    QCOMPARE(back.lastClientHeight, 600);
    QCOMPARE(back.lastClientWidth, 800);
}

void MainDialogTest::ownPrefsLiveBesideTheSettingsAndFallBackKeyByKey() {
    QTemporaryDir dir;
    const QString conf = dir.filePath(QString::fromLatin1(kPrefsFileName));
    {
        QFile file(conf);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[transmit]\ntimeLimitMinutes=61\nlevelDb=-12\n[log]\nreceiveLog=maybe\ntimeStamps=true\n");
    }
    auto win = makeWindow({}, dir.filePath(QStringLiteral("Settings.ini")));
    MainDialog& d = *win->dialog;
    StationPrefs expected;
    expected.transmitLevelDb = -12;
    expected.timeStamps = true;
    QCOMPARE(d.prefs(), expected);  // 61 minutes and "maybe" are not values: their defaults
    d.prefs().txTimeLimitMinutes = 0;
    QVERIFY(d.savePrefs());
    expected.txTimeLimitMinutes = 0;
    QCOMPARE(loadStationPrefs(conf), expected);
}

void MainDialogTest::everyWayOutOfATransmissionUnkeysTheRadio_data() {
    QTest::addColumn<QString>("way");
    QTest::newRow("RECV") << QStringLiteral("recv");
    QTest::newRow("close box") << QStringLiteral("close");
    QTest::newRow("Exit") << QStringLiteral("exit");
    QTest::newRow("speed change") << QStringLiteral("speed");
    QTest::newRow("Escape") << QStringLiteral("escape");
    QTest::newRow("time limit") << QStringLiteral("limit");
    QTest::newRow("port unplugged") << QStringLiteral("unplug");
}

// Keyed by the serial lines in the middle of a sentence, the station must end with both lines
// low whichever way the operator leaves the transmission; the signals go through the close box.
void MainDialogTest::everyWayOutOfATransmissionUnkeysTheRadio() {
    QFETCH(QString, way);
    for (const char* method : {"PTT", "CAT"}) {
        auto win = makeWindow();
        MainDialog& d = *win->dialog;
        d.show();
        const bool cat = method == std::string("CAT");
        d.station().ptt().settings().pttMethod = method;
        d.station().ptt().buildCatCommands("66", "", "");
        QVERIFY(d.station().ptt().openPort("COM1", "19200", "8", "None", "1"));
        if (way == QLatin1String("limit")) d.station().engine().setTimeLimit(std::chrono::milliseconds(50));
        QTest::keyClicks(d.txEntry(), QStringLiteral("a sentence long enough to be cut off"));
        QTest::mouseClick(d.sendButton(), Qt::LeftButton);
        QVERIFY(d.station().engine().transmitting());
        QVERIFY(cat ? win->serial->written.back() == 0xFD && win->serial->written.end()[-2] == 0x01
                    : win->serial->dtr && win->serial->rts);

        if (way == QLatin1String("recv")) QTest::mouseClick(d.recvButton(), Qt::LeftButton);
        else if (way == QLatin1String("close")) d.close();
        else if (way == QLatin1String("exit")) d.dispatchCommand(command::kExit);
        else if (way == QLatin1String("escape")) {
            d.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&d));
            QTest::keyClick(d.txEntry(), Qt::Key_Escape);
        }
        else if (way == QLatin1String("unplug")) win->serial->unplug();
        else if (way == QLatin1String("speed")) d.dispatchCommand(1505);
        QTRY_VERIFY(!d.station().engine().transmitting() || way == QLatin1String("close") || way == QLatin1String("exit"));

        QVERIFY(!win->serial->dtr);
        QVERIFY(!win->serial->rts);
        QVERIFY(!d.station().ptt().isKeyed());
        // The receive command went out last, unless the adapter had gone.
        if (cat && way != QLatin1String("unplug")) QCOMPARE(win->serial->written.end()[-2], std::uint8_t{0x00});
        if (way == QLatin1String("close") || way == QLatin1String("exit")) QVERIFY(!win->serial->open);
    }
}

QTEST_MAIN(MainDialogTest)
#include "main_dialog_test.moc"
