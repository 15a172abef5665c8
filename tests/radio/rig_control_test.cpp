// Rig control: the worker's order and its one report of a failing radio, the close-down unkey
// and its bound, the dial's format, the keyer's rules and its dialog, all against a radio double;
// then Hamlib's dummy radio in this process. The window's tests take it through rigctld.
#include <QComboBox>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <condition_variable>
#include <memory>
#include <mutex>

#include "radio/hamlib_rig.h"
#include "radio/rig_control.h"
#include "radio/rig_keyer.h"
#include "radio/rig_settings_dialog.h"
#include "radio/rig_worker.h"

using namespace vantrel::radio;
using namespace std::chrono_literals;

namespace {

// What the radio double saw and how it answers; shared with the test, which may outlive the
// worker thread's use of it.
struct FakeRadio {
    std::mutex mutex;
    std::condition_variable changed;
    QStringList calls;
    bool failOpen = false;
    bool failCalls = false;
    bool held = false;  // calls wait while held, like a radio that stopped answering
    DialReading dial{14078500, "USB"};

    void note(const QString& call) {
        std::unique_lock lock(mutex);
        calls << call;
        changed.notify_all();
        changed.wait(lock, [this] { return !held; });
    }
    void hold(bool on) {
        std::lock_guard lock(mutex);
        held = on;
        changed.notify_all();
    }
    QStringList seen() {
        std::lock_guard lock(mutex);
        return calls;
    }
};

class FakeRig : public RigControl {
public:
    explicit FakeRig(std::shared_ptr<FakeRadio> radio) : radio_(std::move(radio)) {}
    RigAnswer open(const RigConfig& c) override {
        radio_->note(QStringLiteral("open %1 %2 %3").arg(c.model).arg(QString::fromStdString(c.port)).arg(c.serialSpeed));
        open_ = !radio_->failOpen;
        return {open_, open_ ? "" : "no such port", {}};
    }
    void close() override {
        if (open_) radio_->note(QStringLiteral("close"));
        open_ = false;
    }
    bool isOpen() const override { return open_; }
    RigAnswer setPtt(bool on) override {
        radio_->note(on ? QStringLiteral("ptt on") : QStringLiteral("ptt off"));
        return answer();
    }
    RigAnswer readFrequency() override {
        radio_->note(QStringLiteral("freq"));
        RigAnswer a = answer();
        a.dial.frequencyHz = radio_->dial.frequencyHz;
        return a;
    }
    RigAnswer readMode() override {
        radio_->note(QStringLiteral("mode"));
        RigAnswer a = answer();
        a.dial.mode = radio_->dial.mode;
        return a;
    }

private:
    RigAnswer answer() const { return radio_->failCalls ? RigAnswer{false, "timed out", {}} : RigAnswer{true, {}, {}}; }
    std::shared_ptr<FakeRadio> radio_;
    bool open_ = false;
};

RigSettings enabledSettings(int model = 2, std::string port = "localhost:4532") {
    RigSettings s;
    s.enabled = 1;
    s.model = model;
    s.port = std::move(port);
    return s;
}

}  // namespace

class RigControlTest : public QObject {
    Q_OBJECT
private slots:
    void dialIsShownInMegahertzKilohertzAndHertzGroups();
    void requestsRunInOrderAndNeverHoldTheCaller();
    void aFailingRadioIsReportedOncePerOpening();
    void closeDownUnkeysAndWaitsNoLongerThanItsBound();
    void keyerKeysOnlyWhenAskedToAndUnkeysAnOldRadio();
    void dialogAppliesKeepsOrBringsBackTheChoices();
    void hamlibDummyRadioInThisProcess();
};

void RigControlTest::dialIsShownInMegahertzKilohertzAndHertzGroups() {
    QCOMPARE(formatDial({14078500, "USB"}), std::string("14.078.500 USB"));
    QCOMPARE(formatDial({7074000, ""}), std::string("7.074.000"));
    QCOMPARE(formatDial({145000000, "FM"}), std::string("145.000.000 FM"));
    QCOMPARE(formatDial({475000, "CW"}), std::string("0.475.000 CW"));
    QCOMPARE(formatDial({1296000000.4, "USB"}), std::string("1296.000.000 USB"));
    QCOMPARE(formatDial({14078499.6, "PKTUSB"}), std::string("14.078.500 PKTUSB"));
    QCOMPARE(formatDial({-5, "USB"}), std::string("0.000.000 USB"));
}

void RigControlTest::requestsRunInOrderAndNeverHoldTheCaller() {
    auto radio = std::make_shared<FakeRadio>();
    RigWorker worker(std::make_unique<FakeRig>(radio));
    QSignalSpy opened(&worker, &RigWorker::opened);
    QSignalSpy dial(&worker, &RigWorker::dialChanged);
    worker.open({2, "localhost:4532", 0});
    QTRY_COMPARE(opened.count(), 1);
    QVERIFY(opened[0][0].toBool() && worker.isConnected());
    QTRY_COMPARE(worker.dialText(), QStringLiteral("14.078.500 USB"));  // read at once on opening
    QCOMPARE(dial.count(), 1);

    // A radio that takes its time: requests still return at once and run later in their order.
    radio->hold(true);
    QElapsedTimer clock;
    clock.start();
    worker.setPtt(true);
    worker.poll();
    worker.poll();  // one reading on its way at a time
    worker.setPtt(false);
    QVERIFY(clock.elapsed() < 100);
    radio->hold(false);
    // Keying goes ahead of the reading asked for before it.
    QTRY_COMPARE(radio->seen(), QStringList({"open 2 localhost:4532 0", "freq", "mode", "ptt on", "ptt off", "freq", "mode"}));

    worker.close();
    worker.setPtt(true);  // nothing to key once closed
    QTRY_COMPARE(radio->seen().last(), QStringLiteral("close"));
    QTest::qWait(50);
    QCOMPARE(radio->seen().last(), QStringLiteral("close"));
    QCOMPARE(worker.dialText(), QString());
}

void RigControlTest::aFailingRadioIsReportedOncePerOpening() {
    auto radio = std::make_shared<FakeRadio>();
    RigWorker worker(std::make_unique<FakeRig>(radio));
    QSignalSpy lost(&worker, &RigWorker::radioLost);
    QSignalSpy opened(&worker, &RigWorker::opened);
    worker.setPollInterval(10ms);
    worker.open({1, {}, 0});
    QTRY_VERIFY(!worker.dialText().isEmpty());
    radio->failCalls = true;
    worker.setPtt(true);
    worker.setPtt(false);
    QTRY_VERIFY(radio->seen().count(QStringLiteral("freq")) > 10);
    QCOMPARE(lost.count(), 1);
    QCOMPARE(lost[0][0].toString(), QStringLiteral("timed out"));
    QCOMPARE(worker.dialText(), QString());  // no stale dial from a radio that does not answer

    worker.open({1, {}, 0});  // a new opening may be reported again
    QTRY_COMPARE(lost.count(), 2);
    QTest::qWait(100);
    QCOMPARE(lost.count(), 2);

    radio->failOpen = true;
    worker.open({1, "/dev/ttyUSB9", 0});
    QTRY_COMPARE(opened.count(), 3);
    QCOMPARE(opened.last()[0].toBool(), false);
    QCOMPARE(opened.last()[1].toString(), QStringLiteral("no such port"));
    QVERIFY(!worker.isConnected());
}

void RigControlTest::closeDownUnkeysAndWaitsNoLongerThanItsBound() {
    {
        auto radio = std::make_shared<FakeRadio>();
        RigWorker worker(std::make_unique<FakeRig>(radio));
        worker.open({1, {}, 0});
        worker.setPtt(true);
        QTRY_VERIFY(radio->seen().contains(QStringLiteral("ptt on")));
        QVERIFY(worker.shutDown(true));
        QCOMPARE(radio->seen().filter(QRegularExpression("^(open|ptt|close)")),
                 QStringList({"open 1  0", "ptt on", "ptt off", "close"}));
    }
    {
        // The radio hangs in a reading: close-down gives up after its bound, the unkey still
        // queued behind the reading.
        auto radio = std::make_shared<FakeRadio>();
        RigWorker worker(std::make_unique<FakeRig>(radio));
        worker.open({1, {}, 0});
        QTRY_VERIFY(worker.isConnected());
        radio->hold(true);
        worker.poll();
        QTRY_COMPARE(radio->seen().count(QStringLiteral("freq")), 2);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!worker.shutDown(true, 300ms));
        QVERIFY(clock.elapsed() >= 290 && clock.elapsed() < 2000);
        radio->hold(false);
        // The thread, left to itself, still unkeys and closes the radio.
        QTRY_COMPARE(radio->seen().mid(radio->seen().size() - 2), QStringList({"ptt off", "close"}));
    }
}

void RigControlTest::keyerKeysOnlyWhenAskedToAndUnkeysAnOldRadio() {
    auto radio = std::make_shared<FakeRadio>();
    RigKeyer keyer(std::make_unique<FakeRig>(radio));
    QSignalSpy problems(&keyer, &RigKeyer::problem);
    keyer.keyTransmitter();  // Hamlib off: nothing
    RigSettings s = enabledSettings(2, "COM2");
    s.keyThrough = 0;
    keyer.start(s);
    QTRY_COMPARE(keyer.link(), RigKeyer::Link::Connected);
    keyer.keyTransmitter();  // not keying through Hamlib: nothing
    s.keyThrough = 1;
    keyer.apply(s, true);
    keyer.keyTransmitter();
    s.port = "localhost:4532";
    keyer.apply(s, true);  // keyed: the old radio is unkeyed before the new one opens
    QTRY_COMPARE(keyer.link(), RigKeyer::Link::Connected);
    QTRY_COMPARE(radio->seen().filter(QRegularExpression("^(open|ptt)")),
                 QStringList({"open 2 /dev/ttyS1 0", "open 2 /dev/ttyS1 0", "ptt off", "ptt on", "ptt off",
                              "open 2 localhost:4532 0", "ptt off"}));  // every opening puts it in receive
    QCOMPARE(problems.count(), 0);

    radio->failOpen = true;
    keyer.apply(s, true);
    QTRY_COMPARE(keyer.link(), RigKeyer::Link::Failed);
    QCOMPARE(keyer.linkError(), QStringLiteral("no such port"));
    QCOMPARE(problems.count(), 1);
    keyer.apply(s, false);  // the settings dialog shows it itself
    QTRY_COMPARE(keyer.link(), RigKeyer::Link::Failed);
    QTest::qWait(50);
    QCOMPARE(problems.count(), 1);
    s.enabled = 0;
    keyer.apply(s, true);
    QCOMPARE(keyer.link(), RigKeyer::Link::Off);
}

void RigControlTest::dialogAppliesKeepsOrBringsBackTheChoices() {
    auto radio = std::make_shared<FakeRadio>();
    RigKeyer keyer(std::make_unique<FakeRig>(radio));
    const std::vector<HamlibModel> models{{1, "Hamlib Dummy (1)"}, {2, "Hamlib NET rigctl (2)"}, {3073, "Icom IC-7300 (3073)"}};
    RigSettings before = enabledSettings(3073, "/dev/ttyUSB0");
    before.serialSpeed = 19200;
    keyer.start(before);
    QTRY_COMPARE(keyer.link(), RigKeyer::Link::Connected);
    {
        RigSettingsDialog dialog(keyer, models);
        QCOMPARE(dialog.shownSettings(), before);
        auto* status = dialog.findChild<QLabel*>(QStringLiteral("RigStatusLine"));
        QCOMPARE(status->text(), QStringLiteral("Connected"));
        auto* list = dialog.findChild<QComboBox*>(QStringLiteral("RigModelList"));
        dialog.findChild<QLineEdit*>(QStringLiteral("RigModelSearch"))->setText(QStringLiteral("ham"));
        QCOMPARE(list->count(), 2);
        QCOMPARE(list->currentText(), QStringLiteral("Hamlib Dummy (1)"));
        dialog.findChild<QLineEdit*>(QStringLiteral("RigModelSearch"))->setText(QStringLiteral("rigctl"));
        QCOMPARE(list->currentData().toInt(), 2);
        dialog.findChild<QComboBox*>(QStringLiteral("RigPortList"))->setCurrentText(QStringLiteral("localhost:4532"));
        dialog.findChild<QComboBox*>(QStringLiteral("RigSpeedList"))->setCurrentIndex(0);
        radio->failOpen = true;
        dialog.findChild<QPushButton*>(QStringLiteral("RigApplyButton"))->click();
        QTRY_COMPARE(status->text(), QStringLiteral("Not connected: no such port"));
        QCOMPARE(keyer.settings(), enabledSettings(2, "localhost:4532"));
        radio->failOpen = false;
        dialog.reject();  // Cancel: the choices in force before, and their radio again
        QCOMPARE(keyer.settings(), before);
        QTRY_COMPARE(keyer.link(), RigKeyer::Link::Connected);
        QTRY_COMPARE(radio->seen().last(), QStringLiteral("mode"));
        QVERIFY(radio->seen().contains(QStringLiteral("open 3073 /dev/ttyUSB0 19200")));
    }
    {
        RigSettingsDialog dialog(keyer, models);
        dialog.findChild<QCheckBox*>(QStringLiteral("RigKeyThroughCheck"))->setChecked(false);
        dialog.accept();  // OK keeps the choices without APPLY
        RigSettings after = before;
        after.keyThrough = 0;
        QCOMPARE(keyer.settings(), after);
    }
}

void RigControlTest::hamlibDummyRadioInThisProcess() {
    const auto& models = hamlibModels();
    QVERIFY(models.size() > 100);
    const auto shown = [&models](int number) {
        for (const HamlibModel& m : models)
            if (m.number == number) return QString::fromStdString(m.shown);
        return QString();
    };
    QCOMPARE(shown(1), QStringLiteral("Hamlib Dummy (1)"));
    QCOMPARE(shown(2), QStringLiteral("Hamlib NET rigctl (2)"));
    for (std::size_t i = 1; i < models.size(); ++i)
        QVERIFY(QString::fromStdString(models[i - 1].shown).compare(QString::fromStdString(models[i].shown), Qt::CaseInsensitive) <= 0);

    HamlibRig rig;
    QVERIFY(!rig.open({999999, {}, 0}).ok);
    const RigAnswer missing = rig.open({3073, "/dev/vantrel-no-such-radio", 0});
    QVERIFY(!missing.ok);
    QCOMPARE(QString::fromStdString(missing.error), QStringLiteral("/dev/vantrel-no-such-radio: No such file or directory"));
    QVERIFY(rig.open({kHamlibDummyModel, {}, 0}).ok);
    QVERIFY(rig.setPtt(true).ok);
    QCOMPARE(rig.readPtt(), std::optional<bool>(true));
    QVERIFY(rig.setPtt(false).ok);
    QCOMPARE(rig.readPtt(), std::optional<bool>(false));
    const RigAnswer frequency = rig.readFrequency(), mode = rig.readMode();
    QVERIFY(frequency.ok && mode.ok);
    QVERIFY(frequency.dial.frequencyHz > 0);
    QVERIFY(!mode.dial.mode.empty());
    rig.close();
    QVERIFY(!rig.isOpen());
    QVERIFY(!rig.setPtt(true).ok);
}

QTEST_MAIN(RigControlTest)
#include "rig_control_test.moc"
