// Tools -> "Signal browser" in the window, offscreen on in-memory sound devices: the stations of
// a band with two callers are listed, Return, a double click and a click on a mark tune the
// main receiver as a drag does, the window keeps its place in the program's own file, and the
// main receiver prints exactly the same with the browser open or closed.
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <cmath>
#include <random>

#include "app/band_watch.h"
#include "app/control_ids.h"
#include "app/run_application.h"
#include "app/rx_screen.h"
#include "app/signal_browser.h"
#include "app_test_support.h"
#include "display/band_view.h"
#include "modem/tx_modulator.h"

using namespace vantrel::app;
using namespace vantrel::app::test;
using vantrel::modem::kBlockLength;

namespace {

// DL1ABC at 500 Hz and G4XYZ at 1700 Hz calling at once at 11 baud, in band noise.
std::vector<std::int16_t> twoCallers() {
    const auto& p = *vantrel::modem::profileByBaud(11);
    std::vector<double> air(30 * kBlockLength, 0.0);
    for (auto [tuning, call, start] : {std::tuple{500, "DL1ABC", 1}, std::tuple{1700, "G4XYZ", 3}}) {
        vantrel::modem::TxModulator tx;
        tx.setProfile(p);
        tx.setTuningFrequency(tuning);
        tx.setIdleText(call);
        tx.start(std::string("CQ CQ de ") + call + " testing the browser K", call);
        std::vector<std::int16_t> block(kBlockLength);
        for (int b = start; b < start + 22; ++b) {
            tx.renderTxBlock(block);
            for (int i = 0; i < kBlockLength; ++i) air[static_cast<std::size_t>(b * kBlockLength + i)] += block[static_cast<std::size_t>(i)] / 8.0;
        }
    }
    std::mt19937 rng(3);
    std::normal_distribution<double> noise(0.0, 1500.0);
    std::vector<std::int16_t> out(air.size());
    for (std::size_t i = 0; i < air.size(); ++i) out[i] = static_cast<std::int16_t>(std::lround(air[i] + noise(rng)));
    return out;
}

void play(TestWindow& w, const std::vector<std::int16_t>& air) {
    QCoreApplication::processEvents();
    for (std::size_t at = 0; at + kBlockLength <= air.size(); at += kBlockLength) {
        w.capture->deliver({air.data() + at, static_cast<std::size_t>(kBlockLength)});
        for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    }
}

}  // namespace

class BrowserWindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { initialiseResources(); }
    void listsTheCallersAndTunesToTheOneChosen();
    void theMainReceiverPrintsTheSameWithTheBrowserOpenOrClosed();
};

void BrowserWindowTest::listsTheCallersAndTunesToTheOneChosen() {
    QTemporaryDir dir;
    auto w = makeWindow({}, dir.filePath(QStringLiteral("Settings.ini")));
    MainDialog& d = *w->dialog;
    QCOMPARE(d.action(command::kSignalBrowser)->shortcut(), QKeySequence(QStringLiteral("Ctrl+B")));
    QVERIFY(!d.station().bandWatch().running());
    d.dispatchCommand(command::kSignalBrowser);
    SignalBrowser* browser = d.signalBrowser();
    QVERIFY(browser && browser->isVisible() && browser->isWindow());
    QVERIFY(d.station().bandWatch().running());

    play(*w, twoCallers());
    QTreeWidget* list = browser->list();
    QCOMPARE(list->topLevelItemCount(), 2);
    QCOMPARE(list->topLevelItem(0)->text(1), QStringLiteral("DL1ABC"));
    QCOMPARE(list->topLevelItem(1)->text(1), QStringLiteral("G4XYZ"));
    QVERIFY(list->topLevelItem(1)->text(4).startsWith(QStringLiteral("G4XYZ: CQ CQ de G4XYZ")));
    QCOMPARE(browser->windowTitle(), QStringLiteral("Signal browser: 2 stations heard"));

    // Return on the second row, a double click on the first, a click on the second's mark.
    const auto rowF = [&](int row) { return list->topLevelItem(row)->text(0).toInt(); };
    list->setCurrentItem(list->topLevelItem(1));
    QTest::keyClick(list, Qt::Key_Return);
    QCOMPARE(d.station().tuningFrequency(), rowF(1));
    QVERIFY(std::abs(rowF(1) - 1700) <= 16);
    const QRect first = list->visualItemRect(list->topLevelItem(0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, first.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, first.center());
    QCOMPARE(d.station().tuningFrequency(), rowF(0));
    vantrel::display::BandView* view = browser->bandView();
    const auto& mark = view->marks().at(1);
    const double x = d.station().bandWatch().waterfall().xOf((mark.lowHz + mark.highHz) / 2);
    QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(static_cast<int>(x), 10));
    QCOMPARE(d.station().tuningFrequency(), rowF(1));
    // The same limits as a drag.
    for (auto [asked, tuned] : {std::pair{-40, 0}, std::pair{2600, 2500}, std::pair{1234, 1234}}) {
        d.station().tuneTo(asked);
        QCOMPARE(d.station().tuningFrequency(), tuned);
    }

    // Closed, it stops listening and keeps its place in VantrelChat.conf.
    browser->move(140, 90);
    browser->close();
    QVERIFY(!d.station().bandWatch().running());
    const QSettings conf(dir.filePath(QStringLiteral("VantrelChat.conf")), QSettings::IniFormat);
    QVERIFY(!conf.value(QStringLiteral("browser/geometry")).toByteArray().isEmpty());
}

void BrowserWindowTest::theMainReceiverPrintsTheSameWithTheBrowserOpenOrClosed() {
    const std::vector<std::int16_t> air = twoCallers();
    QString printed[2];
    for (int open = 0; open < 2; ++open) {
        auto w = makeWindow();
        w->dialog->station().tuneTo(1690);
        if (open) w->dialog->dispatchCommand(command::kSignalBrowser);
        play(*w, air);
        QCOMPARE(w->dialog->signalBrowser() != nullptr, open == 1);
        printed[open] = w->dialog->rxScreen()->toPlainText();
    }
    QVERIFY(printed[0].contains(QStringLiteral("G4XYZ: CQ CQ de G4XYZ testing the browser K")));
    QCOMPARE(printed[1], printed[0]);
}

QTEST_MAIN(BrowserWindowTest)
#include "browser_window_test.moc"
