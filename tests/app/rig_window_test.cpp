// The chat window with Hamlib rig control: the radio keyed during a transmission and unkeyed by
// every way out of it, the dial in the status row, and a radio that stops answering or goes away
// holding up nothing. Hamlib's dummy radio in this process, and a real rigctld.
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <atomic>
#include <csignal>

#include "app/control_ids.h"
#include "app/status_line.h"
#include "app/tx_entry.h"
#include "app_test_support.h"
#include "audio/audio_engine.h"
#include "radio/hamlib_rig.h"
#include "../radio/rigctld_server.h"

using namespace vantrel::app;
using namespace vantrel::app::test;
using vantrel::radio::RigKeyer;

namespace {

// Hamlib's dummy radio, its PTT read back from Hamlib after every switch.
class ProbedDummy : public vantrel::radio::RigControl {
public:
    explicit ProbedDummy(std::shared_ptr<std::atomic<int>> ptt) : ptt_(std::move(ptt)) {}
    vantrel::radio::RigAnswer open(const vantrel::radio::RigConfig& c) override { return rig_.open(c); }
    void close() override { rig_.close(); }
    bool isOpen() const override { return rig_.isOpen(); }
    vantrel::radio::RigAnswer setPtt(bool on) override {
        auto answer = rig_.setPtt(on);
        const auto state = rig_.readPtt();
        *ptt_ = state ? int(*state) : -1;
        return answer;
    }
    vantrel::radio::RigAnswer readFrequency() override { return rig_.readFrequency(); }
    vantrel::radio::RigAnswer readMode() override { return rig_.readMode(); }

private:
    vantrel::radio::HamlibRig rig_;
    std::shared_ptr<std::atomic<int>> ptt_;
};

AppSettings hamlibOn(int model, const std::string& port) {
    AppSettings s;
    s.rigEnabled = 1;
    s.rigModel = model;
    s.rigPort = port;
    return s;
}

void startSending(MainDialog& d, const QString& text) {
    QTest::keyClicks(d.txEntry(), text);
    QTest::mouseClick(d.sendButton(), Qt::LeftButton);
}

// Plays the transmission to its end, as the sound card would.
bool playToTheEnd(TestWindow& win) {
    for (int i = 0; i < 400 && win.dialog->station().engine().transmitting(); ++i) {
        win.playback->playNext();
        QCoreApplication::processEvents();
    }
    return !win.dialog->station().engine().transmitting();
}

// Runs the event loop for `ms` and returns the longest time it went without turning.
qint64 longestStall(int ms) {
    QElapsedTimer clock, since;
    clock.start();
    since.start();
    qint64 longest = 0;
    while (clock.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        longest = std::max(longest, since.restart());
        QTest::qSleep(5);
    }
    return longest;
}

int rigProblemBoxes(MainDialog& d) {
    int n = 0;
    for (QMessageBox* box : d.findChildren<QMessageBox*>())
        if (box->windowTitle() == QStringLiteral("Rig control (Hamlib)") && box->isVisible()) ++n;
    return n;
}

}  // namespace

class RigWindowTest : public QObject {
    Q_OBJECT
private slots:
    void dummyRadioIsKeyedUntilEveryWayOut_data();
    void dummyRadioIsKeyedUntilEveryWayOut();
    void rigctldRadioIsKeyedUntilEveryWayOut_data();
    void rigctldRadioIsKeyedUntilEveryWayOut();
    void dialFromRigctldShowsInTheStatusRowWithinThreeSeconds();
    void stoppedRigctldHoldsUpNeitherTheWindowNorItsClosing();
    void rigctldKilledDuringATransmissionIsSaidOnce();
    void failedOpeningAtStartIsSaidOnceAndReceivingGoesOn();
};

void RigWindowTest::dummyRadioIsKeyedUntilEveryWayOut_data() {
    QTest::addColumn<QString>("way");
    for (const char* way : {"recv", "end of text", "exit", "close"}) QTest::newRow(way) << QString::fromLatin1(way);
}

void RigWindowTest::dummyRadioIsKeyedUntilEveryWayOut() {
    QFETCH(QString, way);
    auto ptt = std::make_shared<std::atomic<int>>(-1);
    auto win = makeWindow(hamlibOn(1, ""), {}, {}, std::make_unique<ProbedDummy>(ptt));
    MainDialog& d = *win->dialog;
    d.show();
    QTRY_COMPARE(d.station().rig().link(), RigKeyer::Link::Connected);
    QTRY_COMPARE(d.dialReading()->text(), QStringLiteral("145.000.000 FM"));
    startSending(d, QStringLiteral("hi"));
    QTRY_COMPARE(int(*ptt), 1);

    if (way == QLatin1String("recv")) QTest::mouseClick(d.recvButton(), Qt::LeftButton);
    else if (way == QLatin1String("end of text")) QVERIFY(playToTheEnd(*win));
    else if (way == QLatin1String("exit")) d.dispatchCommand(command::kExit);
    else d.close();
    if (way == QLatin1String("exit") || way == QLatin1String("close"))
        QCOMPARE(int(*ptt), 0);  // the close-down waited for it
    else
        QTRY_COMPARE(int(*ptt), 0);
    QVERIFY(win->messages.shown.isEmpty());
}

void RigWindowTest::rigctldRadioIsKeyedUntilEveryWayOut_data() { dummyRadioIsKeyedUntilEveryWayOut_data(); }

void RigWindowTest::rigctldRadioIsKeyedUntilEveryWayOut() {
    QFETCH(QString, way);
    vantrel::test::RigctldServer server;
    QVERIFY(server.start());
    auto win = makeWindow(hamlibOn(2, server.address().toStdString()));
    MainDialog& d = *win->dialog;
    d.show();
    QTRY_COMPARE(d.station().rig().link(), RigKeyer::Link::Connected);
    startSending(d, QStringLiteral("hi"));
    QTRY_COMPARE(server.ptt(), 1);
    QVERIFY(d.station().engine().transmitting());

    if (way == QLatin1String("recv")) QTest::mouseClick(d.recvButton(), Qt::LeftButton);
    else if (way == QLatin1String("end of text")) QVERIFY(playToTheEnd(*win));
    else if (way == QLatin1String("exit")) d.dispatchCommand(command::kExit);
    else d.close();
    if (way == QLatin1String("exit") || way == QLatin1String("close"))
        QCOMPARE(server.ptt(), 0);
    else
        QTRY_COMPARE(server.ptt(), 0);
}

void RigWindowTest::dialFromRigctldShowsInTheStatusRowWithinThreeSeconds() {
    vantrel::test::RigctldServer server;
    QVERIFY(server.start());
    auto win = makeWindow(hamlibOn(2, server.address().toStdString()));
    MainDialog& d = *win->dialog;
    d.show();
    d.resize(1000, 520 + d.menuBar()->height() + d.statusLine()->height());
    QTRY_COMPARE(d.client()->size(), QSize(1000, 520));
    QTRY_VERIFY(!d.dialReading()->text().isEmpty());
    QVERIFY(server.ask({QStringLiteral("F"), QStringLiteral("14078500")}));
    QElapsedTimer clock;
    clock.start();
    QTRY_COMPARE_WITH_TIMEOUT(d.dialReading()->text(), QStringLiteral("14.078.500 FM"), 3000);
    QVERIFY(clock.elapsed() <= 3000);

    // In the status line under the client area, whose status row keeps the rule's controls
    // and leaves its free end to the other station's idle text; the tuning readout names the
    // signal's frequency on the air (dial + F on the upper sideband, dial - F on the lower).
    const int r = 520 - 78;
    QVERIFY(d.dialReading()->isVisible());
    QVERIFY(d.dialReading()->mapTo(&d, QPoint(0, 0)).y() >= d.client()->geometry().bottom());
    QVERIFY(d.secondaryText()->isVisible());
    QCOMPARE(d.secondaryText()->geometry(), QRect(814, r + 56, 184, 20));
    QCOMPARE(d.control(control::kRemainingBar)->geometry(), QRect(200, r + 56, 1000, 20));
    QCOMPARE(d.control(control::kRemainingLine)->geometry(), QRect(0, r + 56, 200, 20));
    auto* readout = qobject_cast<QLabel*>(d.control(control::kTuningReadout));
    QCOMPARE(readout->text(), QStringLiteral("Tuning 1000 Hz, RF 14.079.500"));
    QVERIFY(server.ask({QStringLiteral("M"), QStringLiteral("LSB"), QStringLiteral("0")}));
    QTRY_COMPARE_WITH_TIMEOUT(readout->text(), QStringLiteral("Tuning 1000 Hz, RF 14.077.500"), 3000);

    // Hamlib switched off in the dialog's stead: nothing shown.
    vantrel::radio::RigSettings off = d.station().rig().settings();
    off.enabled = 0;
    d.station().rig().apply(off, true);
    QTRY_COMPARE(d.dialReading()->text(), QString());
    QVERIFY(!d.dialReading()->isVisible());
    QCOMPARE(readout->text(), QStringLiteral("Tuning 1000 Hz"));
}

void RigWindowTest::stoppedRigctldHoldsUpNeitherTheWindowNorItsClosing() {
    vantrel::test::RigctldServer server;
    QVERIFY(server.start());
    auto win = makeWindow(hamlibOn(2, server.address().toStdString()));
    MainDialog& d = *win->dialog;
    d.show();
    QTRY_COMPARE(d.station().rig().link(), RigKeyer::Link::Connected);
    server.signal(SIGSTOP);
    QElapsedTimer clock;
    clock.start();
    startSending(d, QStringLiteral("hi"));
    QTest::mouseClick(d.recvButton(), Qt::LeftButton);
    startSending(d, QStringLiteral("again"));
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    const qint64 stall = longestStall(3000);  // dial readings keep being asked for meanwhile
    QVERIFY2(stall < 500, qPrintable(QString::number(stall)));
    // On the air until Hamlib gives up on the radio; then back in receive.
    QVERIFY(d.station().engine().transmitting() != (d.station().rig().link() == RigKeyer::Link::Failed));
    clock.restart();
    d.close();
    QVERIFY2(clock.elapsed() < 2800, qPrintable(QString::number(clock.elapsed())));
    server.signal(SIGCONT);
}

void RigWindowTest::rigctldKilledDuringATransmissionIsSaidOnce() {
    vantrel::test::RigctldServer server;
    QVERIFY(server.start());
    auto win = makeWindow(hamlibOn(2, server.address().toStdString()));
    MainDialog& d = *win->dialog;
    d.show();
    QTRY_COMPARE(d.station().rig().link(), RigKeyer::Link::Connected);
    QSignalSpy problems(&d.station().rig(), &RigKeyer::problem);
    startSending(d, QStringLiteral("a sentence for a radio that goes away"));
    QTRY_COMPARE(server.ptt(), 1);
    server.signal(SIGKILL);
    server.stop();
    QVERIFY(playToTheEnd(*win));  // the transmission ends as it would have
    QVERIFY(d.sendButton()->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(problems.count(), 1, 15000);
    QTRY_COMPARE(rigProblemBoxes(d), 1);
    startSending(d, QStringLiteral("and once more"));
    QVERIFY(playToTheEnd(*win));
    QTest::qWait(2500);  // a few dial readings fail meanwhile
    QCOMPARE(problems.count(), 1);
    QCOMPARE(rigProblemBoxes(d), 1);
    QCOMPARE(d.dialReading()->text(), QString());
    QVERIFY(win->messages.shown.isEmpty());
}

void RigWindowTest::failedOpeningAtStartIsSaidOnceAndReceivingGoesOn() {
    vantrel::test::RigctldServer server;
    QVERIFY(server.start());
    const std::string address = server.address().toStdString();
    server.stop();  // nobody on that port now
    auto win = makeWindow(hamlibOn(2, address));
    MainDialog& d = *win->dialog;
    d.show();
    QTRY_COMPARE_WITH_TIMEOUT(d.station().rig().link(), RigKeyer::Link::Failed, 10000);
    QTRY_COMPARE(rigProblemBoxes(d), 1);
    QVERIFY(win->capture->isOpen());
    startSending(d, QStringLiteral("hi"));
    QVERIFY(playToTheEnd(*win));
    QTest::qWait(1500);
    QCOMPARE(rigProblemBoxes(d), 1);
}

QTEST_MAIN(RigWindowTest)
#include "rig_window_test.moc"
