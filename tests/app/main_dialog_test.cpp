// The main window: its controls, the layout rule, the Return key, the menus and the commands.
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "app/control_ids.h"
#include "app/run_application.h"
#include "app/rx_screen.h"
#include "app/small_dialogs.h"
#include "app/tx_entry.h"
#include "app_test_support.h"
#include "audio/audio_engine.h"

using namespace vantrel::app;
using namespace vantrel::app::test;

class MainDialogTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { initialiseResources(); }
    void controlsCarryTheirIdentifiersTextsFontsAndColours();
    void layoutFollowsTheRuleAtEverySize_data();
    void layoutFollowsTheRuleAtEverySize();
    void minimisedWindowRecordsAnEmptyClientArea();
    void returnInTheEntrySendsAndInsertsNoLineBreak();
    void textTypedDuringATransmissionStaysForTheNextSentence();
    void menuBarHasEveryCaptionAndCommand();
    void everyMenuCommandReachesItsAction();
    void speedChangeSetsCaptionCheckAndAudioRate();
    void attackOptionsStoreTheWeight();
    void sensitiveReceiveIsStoredAndHandedToTheReceiver();
    void secondaryTextShowsInTheFreeEndOfTheStatusRow();
    void dragTunesAndAClickOnTheMeterSetsTheSquelch();
    void exitWritesTheSettingsLikeClosingTheWindow();
};

void MainDialogTest::controlsCarryTheirIdentifiersTextsFontsAndColours() {
    auto w = makeWindow();
    MainDialog& d = *w->dialog;
    const struct {
        int id;
        const char* name;
    } table[] = {{413, "RxScreen"},       {1678, "WaterfallFrame"}, {679, "SyncFrameLeft"}, {680, "SyncFrameRight"},
                 {550, "SnrBar"},         {1434, "AttackFrame"},    {1431, "AttackFast"},   {1432, "AttackMed"},
                 {1433, "AttackSlow"},    {1435, "AttackLabel"},    {1430, "SnrScale"},     {430, "TxEntry"},
                 {313, "SendButton"},     {314, "RecvButton"},      {800, "RemainingLine"}, {1429, "RemainingBar"}};
    for (const auto& row : table) {
        QWidget* widget = d.control(row.id);
        QVERIFY2(widget, row.name);
        QCOMPARE(widget->objectName(), QLatin1String(row.name));
    }
    QCOMPARE(d.windowTitle(), QStringLiteral("Vantrel 11 Baud Chat mode"));
    QVERIFY(!d.windowIcon().isNull());
    QCOMPARE(d.sendButton()->text(), QStringLiteral("SEND"));
    QCOMPARE(d.recvButton()->text(), QStringLiteral("RECV"));
    QVERIFY(d.sendButton()->isEnabled());
    QVERIFY(!d.recvButton()->isEnabled());
    auto* med = qobject_cast<QRadioButton*>(d.control(control::kAttackMed));
    QVERIFY(med->isChecked());
    QCOMPARE(qobject_cast<QRadioButton*>(d.control(control::kAttackFast))->text(), QStringLiteral("Fast"));
    QCOMPARE(qobject_cast<QRadioButton*>(d.control(control::kAttackSlow))->text(), QStringLiteral("Slow"));
    QCOMPARE(med->font().family(), QStringLiteral("Liberation Sans"));
    QCOMPARE(med->font().pointSize(), 8);
    auto* label = qobject_cast<QLabel*>(d.control(control::kAttackLabel));
    QCOMPARE(label->text(), QStringLiteral("Squelch\n  attack"));
    QVERIFY(label->font().bold());
    QCOMPARE(d.rxScreen()->font().family(), QStringLiteral("Liberation Mono"));
    QCOMPARE(d.rxScreen()->font().pointSize(), 10);
    QCOMPARE(d.txEntry()->font().family(), QStringLiteral("Liberation Mono"));
    QCOMPARE(d.rxScreen()->palette().color(QPalette::Base), QColor(255, 255, 224));
    QCOMPARE(d.txEntry()->palette().color(QPalette::Base), QColor(255, 228, 225));
    QCOMPARE(d.txEntry()->palette().color(QPalette::Text), QColor(0, 0, 255));
    QVERIFY(d.remainingLine()->isReadOnly());
    QVERIFY(d.txEntry()->toPlainText().isEmpty());
}

void MainDialogTest::layoutFollowsTheRuleAtEverySize_data() {
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    QTest::newRow("start size") << 923 << 520;
    QTest::newRow("800x600") << 800 << 600;
    QTest::newRow("shorter than 498") << 640 << 400;
    QTest::newRow("exactly 498") << 700 << 498;
    QTest::newRow("large") << 1600 << 1000;
}

void MainDialogTest::layoutFollowsTheRuleAtEverySize() {
    QFETCH(int, w);
    QFETCH(int, h);
    auto win = makeWindow();
    MainDialog& d = *win->dialog;
    d.layout(w, h);
    const int r = std::max(h - 78, 420);
    const struct {
        int id;
        QRect rect;
    } expected[] = {
        {413, {0, 0, w - 120, r}},          {430, {0, r + 2, w - 120, 54}},   {313, {w - 118, r + 3, 60, 51}},
        {314, {w - 58, r + 3, 58, 51}},     {800, {0, r + 56, 200, 20}},      {1429, {200, r + 56, w, 20}},
        {1678, {w - 118, 0, 120, 245}},     {679, {w - 118, 246, 58, 38}},    {680, {w - 58, 246, 58, 38}},
        {1434, {w - 115, 285, 52, 135}},    {1431, {w - 113, 295, 47, 14}},   {1432, {w - 113, 325, 47, 14}},
        {1433, {w - 113, 355, 47, 14}},     {1435, {w - 113, 383, 45, 30}},   {1430, {w - 60, 285, 20, 140}},
        {550, {w - 38, 285, 30, 140}},
    };
    for (const auto& e : expected) QCOMPARE(d.control(e.id)->geometry(), e.rect);
    QCOMPARE(d.rxScreen()->height(), r);
    if (h < 498) QCOMPARE(d.rxScreen()->height(), 420);
    QCOMPARE(d.settings().lastClientHeight, h);
    QCOMPARE(d.settings().lastClientWidth, w);

    // A real resize lays out the client area below the menu bar the same way.
    d.show();
    d.resize(w, h + d.menuBar()->height());
    QTRY_COMPARE(d.client()->size(), QSize(w, h));
    QCOMPARE(d.client()->geometry().top(), d.menuBar()->geometry().bottom() + 1);
    QCOMPARE(d.control(313)->geometry(), QRect(w - 118, r + 3, 60, 51));
    QCOMPARE(d.settings().lastClientWidth, w);
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
    d.txEntry()->setFocus();
    QTest::keyClicks(d.txEntry(), QStringLiteral("hello"));
    QTest::keyClick(d.txEntry(), Qt::Key_Return);
    QCOMPARE(d.txEntry()->toPlainText(), QStringLiteral("hello"));  // no line break, text kept while sending
    QCOMPARE(d.rxScreen()->textCrLf(), QStringLiteral("\r\nnocall: hello            "));
    QVERIFY(!d.sendButton()->isEnabled());
    QVERIFY(d.recvButton()->isEnabled());
    QVERIFY(d.station().engine().transmitting());
    QVERIFY(d.txEntry()->hasFocus());
    QCOMPARE(d.station().modulator().txString(),
             std::string(11, ' ') + "\r\nnocall: hello" + std::string(11, ' ') + std::string(5, '\x80'));

    // Enter on the keypad behaves the same; a press alone (no release) does nothing.
    QTest::keyPress(d.txEntry(), Qt::Key_Enter);
    QCOMPARE(d.txEntry()->toPlainText(), QStringLiteral("hello"));
    QTest::keyRelease(d.txEntry(), Qt::Key_Enter);
    QCOMPARE(d.rxScreen()->textCrLf().count(QStringLiteral("nocall:")), 1);  // SEND is disabled while sending

    QTest::mouseClick(d.recvButton(), Qt::LeftButton);
    QVERIFY(d.txEntry()->toPlainText().isEmpty());
    QVERIFY(d.sendButton()->isEnabled());
    QVERIFY(!d.recvButton()->isEnabled());
    QVERIFY(!d.station().engine().transmitting());
}

void MainDialogTest::textTypedDuringATransmissionStaysForTheNextSentence() {
    auto win = makeWindow();
    MainDialog& d = *win->dialog;
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    QTest::keyClicks(d.txEntry(), QStringLiteral("hello"));
    QTest::keyClick(d.txEntry(), Qt::Key_Return);
    QTest::keyClicks(d.txEntry(), QStringLiteral(" world"));
    d.dispatchCommand(command::kRecv);
    QCOMPARE(d.txEntry()->toPlainText(), QStringLiteral(" world"));
    QCOMPARE(d.txEntry()->textCursor().position(), 6);
    // The serial port is unkeyed again: the station never stays on the air.
    QVERIFY(!d.station().ptt().isKeyed());
}

void MainDialogTest::menuBarHasEveryCaptionAndCommand() {
    auto win = makeWindow();
    MainDialog& d = *win->dialog;
    QStringList popups;
    for (QAction* a : d.menuBar()->actions()) popups << a->text();
    QCOMPARE(popups, QStringList({"&File", "&Mode", "&Options", "&Tools", "&Soundcard", "&Help"}));
    const QList<QPair<int, QString>> items = {
        {439, "Save RX screen to file NOW"}, {402, "Exit"}, {1500, "4 baud double spaced"},
        {1501, "5 baud double spaced"}, {1502, "8 baud double spaced"}, {1503, "11 baud single spaced"},
        {1504, "16 baud single spaced"}, {1505, "22 baud single spaced"}, {502, "Callsign"}, {909, "PTT settings"},
        {604, "Squelch trigger level"}, {908, "Bandwidth capture range"}, {906, "Clear RX screen"},
        {920, "Sensitive receive"}, {253, "Audio control panel"}, {250, "Input"}, {251, "Output"}, {409, "Help"},
        {410, "About"}};
    QStringList captions;
    for (QAction* popup : d.menuBar()->actions())
        for (QAction* item : popup->menu()->actions()) {
            captions << item->text();
            QVERIFY(item->property("commandId").isValid());
            QVERIFY(item->shortcut().isEmpty());
        }
    QCOMPARE(captions.size(), items.size());
    for (int i = 0; i < items.size(); ++i) {
        QCOMPARE(captions[i], items[i].second);
        QCOMPARE(d.action(items[i].first)->text(), items[i].second);
        QCOMPARE(d.action(items[i].first)->property("commandId").toInt(), items[i].first);
    }
    int checked = 0;
    for (int id = 1500; id <= 1505; ++id) checked += d.action(id)->isChecked() ? 1 : 0;
    QCOMPARE(checked, 1);
    QVERIFY(d.action(1503)->isChecked());
    QVERIFY(d.action(920)->isCheckable());
    QVERIFY(!d.action(920)->isChecked());
}

void MainDialogTest::everyMenuCommandReachesItsAction() {
    QTemporaryDir dir;
    auto win = makeWindow();
    MainDialog& d = *win->dialog;
    d.setWorkDirectory(QDir(dir.path()));
    QStringList prompts;
    d.setPrompter([&prompts](const QString&, const QString& title, const QString&) {
        prompts << title;
        return title == QStringLiteral("CALLSIGN") ? QStringLiteral("G4XYZ")
               : title == QStringLiteral("Squelch trigger level") ? QStringLiteral("22")
                                                                 : QStringLiteral("100");
    });
    ModalCloser closer;

    d.rxScreen()->appendReceived('A');
    d.action(command::kSaveRxScreen)->trigger();
    QCOMPARE(QDir(dir.path()).entryList({QStringLiteral("Vantrel*.doc")}).size(), 1);
    d.action(command::kClearRxScreen)->trigger();
    QVERIFY(d.rxScreen()->toPlainText().isEmpty());

    d.action(command::kCallsign)->trigger();
    QCOMPARE(d.settings().callsign, std::string("G4XYZ"));
    d.action(command::kSquelchLevel)->trigger();
    QCOMPARE(d.settings().squelchLevel, 22);
    d.action(command::kCaptureRange)->trigger();
    QCOMPARE(d.settings().captureTop, 100);
    QCOMPARE(prompts, QStringList({"CALLSIGN", "Squelch trigger level", "Bandwidth capture range"}));

    d.action(command::kHelp)->trigger();
    QCOMPARE(win->openedUrls.size(), 1);
    QVERIFY(win->openedUrls[0].endsWith(QStringLiteral("/VantrelChat.htm")));
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    QTest::keyClick(d.txEntry(), Qt::Key_F1);  // the help key opens the same page
    QCOMPARE(win->openedUrls.size(), 2);
    QCOMPARE(win->openedUrls[1], win->openedUrls[0]);

    d.action(command::kAbout)->trigger();
    d.action(command::kInput)->trigger();
    d.action(command::kOutput)->trigger();
    d.action(command::kPttSettings)->trigger();
    QCOMPARE(closer.titles.size(), 4);
    QCOMPARE(closer.titles[0], QStringLiteral("About Orlix"));
    QCOMPARE(closer.titles[1], QStringLiteral("Select soundcard input"));
    QCOMPARE(closer.titles[2], QStringLiteral("Select soundcard output"));
    QVERIFY(closer.titles[3].contains(QStringLiteral("Comms STOPPED")));

    // An unknown identifier does nothing.
    d.dispatchCommand(12345);
    QCOMPARE(d.windowTitle(), QStringLiteral("Vantrel 11 Baud Chat mode"));
}

void MainDialogTest::speedChangeSetsCaptionCheckAndAudioRate() {
    auto win = makeWindow();
    MainDialog& d = *win->dialog;
    const struct {
        int id;
        const char* title;
        int rate;
        int factor;
    } modes[] = {{1500, "Vantrel 4 Baud Chat mode", 8000, 2},   {1501, "Vantrel 5 Baud Chat mode", 11025, 2},
                 {1502, "Vantrel 8 Baud Chat mode", 16000, 2},  {1503, "Vantrel 11 Baud Chat mode", 11025, 1},
                 {1504, "Vantrel 16 Baud Chat mode", 16000, 1}, {1505, "Vantrel 22 Baud Chat mode", 22050, 1}};
    for (const auto& m : modes) {
        const int opens = win->capture->openCount();
        d.action(m.id)->trigger();
        QCOMPARE(d.windowTitle(), QLatin1String(m.title));
        QCOMPARE(d.profile().sampleRate, m.rate);
        QCOMPARE(d.profile().spacingFactor, m.factor);
        for (int id = 1500; id <= 1505; ++id) QCOMPARE(d.action(id)->isChecked(), id == m.id);
        QCOMPARE(win->capture->openCount(), opens + 1);
        QCOMPARE(win->capture->sampleRate(), m.rate);
        QCOMPARE(d.station().waterfall().sampleRate(), m.rate);
    }
    // The current speed again repeats the whole sequence.
    const int opens = win->capture->openCount();
    d.action(1505)->trigger();
    QVERIFY(d.action(1505)->isChecked());
    QCOMPARE(win->capture->openCount(), opens + 1);

    // Capture refusing to open: the speed is current anyway, the operator is told.
    win->capture->failOpen = true;
    d.action(1504)->trigger();
    QCOMPARE(d.windowTitle(), QStringLiteral("Vantrel 16 Baud Chat mode"));
    QCOMPARE(win->messages.shown.last(), QStringLiteral("INPUT: Can't open soundcard for input"));
    QCOMPARE(d.station().waterfall().sampleRate(), 22050);  // the scale is not redrawn
}

void MainDialogTest::attackOptionsStoreTheWeight() {
    auto win = makeWindow();
    MainDialog& d = *win->dialog;
    d.show();
    QCOMPARE(d.squelchAttack(), 1);
    QTest::mouseClick(d.control(control::kAttackFast), Qt::LeftButton, {}, QPoint(5, 7));
    QCOMPARE(d.squelchAttack(), 0);
    QCOMPARE(d.station().currentRxSettings().squelchAttack, 0);
    QTest::mouseClick(d.control(control::kAttackSlow), Qt::LeftButton, {}, QPoint(5, 7));
    QCOMPARE(d.squelchAttack(), 3);
    QVERIFY(qobject_cast<QRadioButton*>(d.control(control::kAttackSlow))->isChecked());
    QVERIFY(!qobject_cast<QRadioButton*>(d.control(control::kAttackFast))->isChecked());
    d.dispatchCommand(command::kAttackMed);
    QCOMPARE(d.squelchAttack(), 1);
}

void MainDialogTest::sensitiveReceiveIsStoredAndHandedToTheReceiver() {
    AppSettings s;
    s.sensitiveReceive = 1;
    auto win = makeWindow(s);
    MainDialog& d = *win->dialog;
    QVERIFY(d.action(command::kSensitiveReceive)->isChecked());
    QVERIFY(d.station().currentRxSettings().sensitive);
    d.action(command::kSensitiveReceive)->trigger();
    QVERIFY(!d.action(command::kSensitiveReceive)->isChecked());
    QCOMPARE(d.settings().sensitiveReceive, 0);
    QVERIFY(!d.station().currentRxSettings().sensitive);
    d.dispatchCommand(command::kSensitiveReceive);
    QCOMPARE(d.settings().sensitiveReceive, 1);
    QVERIFY(d.action(command::kSensitiveReceive)->isChecked());
}

void MainDialogTest::secondaryTextShowsInTheFreeEndOfTheStatusRow() {
    auto win = makeWindow();
    MainDialog& d = *win->dialog;
    d.layout(923, 520);
    const std::uint8_t idle[] = {'D', 'L', '1', 'A', 'B', 'C', ' ', ' '};
    d.appendSecondaryText(idle);
    d.appendSecondaryText(idle);
    QCOMPARE(d.secondaryText()->text(), QStringLiteral("DL1ABC  DL1ABC  "));
    QVERIFY(d.secondaryText()->isReadOnly());
    const QRect field = d.secondaryText()->geometry();
    QCOMPARE(field.top(), d.remainingBar()->geometry().top());
    // Right of the longest bar the transmitter can draw, inside the window.
    QVERIFY(field.left() > 200 + qRound(0.61 * 923));
    QVERIFY(field.right() < 923);
    // It never grows past a few turns of the idle text.
    for (int i = 0; i < 40; ++i) d.appendSecondaryText(idle);
    QVERIFY(d.secondaryText()->text().size() <= 64);
    QVERIFY(d.secondaryText()->text().endsWith(QStringLiteral("DL1ABC  ")));
    // Too narrow a window leaves no room: hidden rather than drawn over the bar.
    d.show();
    d.layout(500, 520);
    QVERIFY(!d.secondaryText()->isVisible());
}

void MainDialogTest::dragTunesAndAClickOnTheMeterSetsTheSquelch() {
    auto win = makeWindow();
    MainDialog& d = *win->dialog;
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    const int w = d.client()->width();
    QCOMPARE(d.station().tuningFrequency(), 1000);

    // Over the waterfall: moves without a button only move the pointer.
    QTest::mouseMove(d.client(), QPoint(w - 50, 100));
    QCOMPARE(d.station().tuningFrequency(), 1000);
    QTest::mousePress(d.client(), Qt::LeftButton, {}, QPoint(w - 50, 100));
    QTest::mouseMove(d.client(), QPoint(w - 50, 90));
    // Ten rows up at 11025 Hz: 1000 - 27.5625, rounded.
    QCOMPARE(d.station().tuningFrequency(), 972);
    QCOMPARE(d.station().currentRxSettings().tuningFrequency, 972);
    QTest::mouseRelease(d.client(), Qt::LeftButton, {}, QPoint(w - 50, 90));
    QTest::mouseMove(d.client(), QPoint(w - 50, 60));
    QCOMPARE(d.station().tuningFrequency(), 972);

    // A click on the S/N bar: the height above its bottom, as the meter was created.
    QWidget* meter = d.snrBar();
    QTest::mousePress(meter, Qt::LeftButton, {}, QPoint(10, 35));
    QTest::mouseRelease(meter, Qt::LeftButton, {}, QPoint(10, 35));
    QCOMPARE(d.settings().squelchLevel, qRound(0.61 * (dluY(83) - 35)));
}

void MainDialogTest::exitWritesTheSettingsLikeClosingTheWindow() {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Settings.ini"));
    AppSettings s;
    s.callsign = "G4XYZ";
    auto win = makeWindow(s, file);
    MainDialog& d = *win->dialog;
    d.show();
    d.resize(800, 600 + d.menuBar()->height());
    QTRY_COMPARE(d.client()->size(), QSize(800, 600));
    d.dispatchCommand(command::kExit);
    QVERIFY(!d.isVisible());
    const AppSettings back = loadSettings(file.toStdString());
    QCOMPARE(back.callsign, std::string("G4XYZ"));
    QCOMPARE(back.lastClientHeight, 600);
    QCOMPARE(back.lastClientWidth, 800);
    QCOMPARE(back.inputDevice, -1);
}

QTEST_MAIN(MainDialogTest)
#include "main_dialog_test.moc"
