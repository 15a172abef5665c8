// The operator's station: macro fields, the other station's call, the receive log file, the QSO
// log read back by an independent ADIF reader, and all of it in the window.
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "app/control_ids.h"
#include "app/macro_dialog.h"
#include "app/operator_desk.h"
#include "app/qso_dialog.h"
#include "app/qso_log.h"
#include "app/rx_screen.h"
#include "app/tx_entry.h"
#include "app_test_support.h"
#include "audio/audio_engine.h"

using namespace vantrel::app;
using namespace vantrel::app::test;

namespace {

const QDateTime kNoon(QDate(2026, 12, 7), QTime(12, 34, 56), Qt::UTC);

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::vector<std::uint8_t> bytes(const char* text) { return {text, text + std::strlen(text)}; }

// Runs `act` once the modal dialog of that type is up, then lets it finish.
template <typename Dialog>
void whenShown(std::function<void(Dialog&)> act) {
    QTimer::singleShot(0, [act] {
        QTRY_VERIFY(qobject_cast<Dialog*>(QApplication::activeModalWidget()));
        act(*qobject_cast<Dialog*>(QApplication::activeModalWidget()));
    });
}

}  // namespace

class StationLogTest : public QObject {
    Q_OBJECT
private slots:
    void macroFields_data();
    void macroFields();
    void callIsTakenFromLinesAndIdleText();
    void receiveLogAppendsEachLineAsItCompletes();
    void qsoLogReadsBackExactlyWithAnIndependentReader();
    void theWindowCapturesSendsStampsAndLogs();
};

void StationLogTest::macroFields_data() {
    QTest::addColumn<QString>("macro");
    QTest::addColumn<QString>("call");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("callAt");  // -1: complete, sent as it stands
    QTest::newRow("every field") << "<CALL> de <MYCALL> <name> <UTC> <FREQ>" << "DL1ABC" << "DL1ABC de G4XYZ Ann 1234 14078.5" << -1;
    QTest::newRow("unknown field as typed") << "<QTH> <MYCALL" << "" << "<QTH> <MYCALL" << -1;
    QTest::newRow("no call known") << "tnx <CALL> de <MYCALL>" << "" << "tnx  de G4XYZ" << 4;
}

void StationLogTest::macroFields() {
    QFETCH(QString, macro);
    QFETCH(QString, call);
    const MacroText m = expandMacro(macro, MacroFields{QStringLiteral("G4XYZ"), call, QStringLiteral("Ann"), kNoon, 14078500});
    QTEST(m.text, "text");
    QTEST(m.callAt, "callAt");
    QCOMPARE(m.complete, m.callAt < 0);
    QCOMPARE(kiloHertzText(7040000) + kiloHertzText(0), QStringLiteral("7040"));  // unknown: empty
}

void StationLogTest::callIsTakenFromLinesAndIdleText() {
    for (const auto& [line, call] : std::vector<std::pair<const char*, const char*>>{
             {"DL1ABC: hello", "DL1ABC"}, {"  g4xyz/p: hi", "g4xyz/p"}, {"DL1ABC de G4XYZ: hi", ""},
             {"73: good", ""}, {"QSO: ok", ""}, {"no colon DL1ABC", ""}})
        QCOMPARE(callOpeningLine(QLatin1String(line)), QLatin1String(call));
    QCOMPARE(wordAt(QStringLiteral("de G4XYZ/P, k"), 5), QStringLiteral("G4XYZ/P"));

    OtherStation other;
    const auto idle = bytes("ABC  DL1ABC  DL1ABC  DL1ABC  ");
    other.heardIdleText(std::span(idle).first(13));  // a word once is not yet a call
    QCOMPARE(other.call(), QString());
    other.heardIdleText(std::span(idle).subspan(13));
    QCOMPARE(other.call(), QStringLiteral("DL1ABC"));
    other.setCall(QStringLiteral("G4XYZ"));  // the operator's choice outlives the idle text's repeats
    other.heardIdleText(idle);
    QCOMPARE(other.call(), QStringLiteral("G4XYZ"));
}

void StationLogTest::receiveLogAppendsEachLineAsItCompletes() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("VantrelLog-2026-12-07.txt"));
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly) && old.write("earlier\r\n") == 9);
    old.close();
    QDateTime now = kNoon;
    ReceiveLog log([&dir] { return QDir(dir.path()); }, [&now] { return now; });
    QStringList failures;
    connect(&log, &ReceiveLog::writeFailed, [&failures](const QString& file, const QString&) { failures << file; });

    log.received(bytes("   \r\nDL1ABC: one\r\n\x07two  "));
    now = now.addSecs(1);
    log.sent(QStringLiteral("G4XYZ"), QString::fromLatin1("caf\xe9\r\nsecond line"));  // a line of its own first
    log.received(bytes("\r\nDL1ABC: three "));
    QCOMPARE(log.currentLine(), QStringLiteral("DL1ABC: three "));
    QTRY_VERIFY_WITH_TIMEOUT(log.currentLine().isEmpty(), kLineIdleMs + 1000);  // complete after the pause
    QCOMPARE(readAll(path), QByteArray("earlier\r\n2026-12-07 12:34:56Z RX DL1ABC: one\r\n"
                                       "2026-12-07 12:34:56Z RX two\r\n2026-12-07 12:34:57Z TX G4XYZ: caf\xe9\r\n"
                                       "2026-12-07 12:34:57Z TX second line\r\n2026-12-07 12:34:57Z RX DL1ABC: three\r\n"));

    // A file that cannot be written is reported once, until writing works again.
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("VantrelLog-2026-12-08.txt")));
    now = now.addDays(1);
    for (int i = 0; i < 3; ++i) log.received(bytes("lost\r\n"));
    QCOMPARE(failures, QStringList({dir.filePath(QStringLiteral("VantrelLog-2026-12-08.txt"))}));
}

void StationLogTest::qsoLogReadsBackExactlyWithAnIndependentReader() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QLatin1String(kQsoLogFileName));
    QsoRecord full{QStringLiteral("K1<A>:B"), kNoon, kNoon.addSecs(300), megaHertzText(14078500), bandOfFrequency(14.0785),
                   QStringLiteral("599"), QStringLiteral("57"), QString::fromLatin1("Jos\xe9"),
                   QStringLiteral("<eor> a:b <CALL:2>XX"), QStringLiteral("G4XYZ"), 22};
    QsoRecord bare{QStringLiteral("DL1ABC"), kNoon.addSecs(40000), kNoon.addSecs(45000), {}, {}, {}, {}, {}, {}, QStringLiteral("G4XYZ"), 11};
    QCOMPARE(appendQso(path, full, kNoon, QStringLiteral("1.2.3")), QString());
    QCOMPARE(appendQso(path, bare, kNoon, QStringLiteral("1.2.3")), QString());
    QVERIFY(!appendQso(dir.filePath(QStringLiteral("missing/x.adi")), full, kNoon, {}).isEmpty());

    QProcess node;
    node.start(QStringLiteral("node"), {QStringLiteral(VANTREL_ADIF_READER), path});
    QVERIFY2(node.waitForFinished(20000) && node.exitCode() == 0, node.readAllStandardError().constData());
    const QJsonObject got = QJsonDocument::fromJson(node.readAllStandardOutput()).object();
    QCOMPARE(got[QStringLiteral("header")].toObject().toVariantMap(),
             QVariantMap({{"text", "Vantrel Chat QSO log"}, {"adif_ver", "3.1.4"}, {"programid", "VantrelChat"},
                          {"programversion", "1.2.3"}, {"created_timestamp", "20261207 123456"}}));
    const QJsonArray records = got[QStringLiteral("records")].toArray();
    QCOMPARE(records.size(), 2);
    QCOMPARE(records[0].toObject().toVariantMap(),
             QVariantMap({{"call", "K1<A>:B"}, {"qso_date", "20261207"}, {"time_on", "123456"}, {"time_off", "123956"},
                          {"band", "20m"}, {"freq", "14.078500"}, {"mode", "MFSK"}, {"app_vantrelchat_speed", "22"},
                          {"station_callsign", "G4XYZ"}, {"rst_sent", "599"}, {"rst_rcvd", "57"},
                          {"name", QString::fromLatin1("Jos\xe9")}, {"comment", "<eor> a:b <CALL:2>XX"}}));
    QCOMPARE(records[1].toObject().toVariantMap(),  // across midnight: the end has its own date
             QVariantMap({{"call", "DL1ABC"}, {"qso_date", "20261207"}, {"time_on", "234136"}, {"qso_date_off", "20261208"},
                          {"time_off", "010456"}, {"mode", "MFSK"}, {"app_vantrelchat_speed", "11"}, {"station_callsign", "G4XYZ"}}));
}

void StationLogTest::theWindowCapturesSendsStampsAndLogs() {
    QTemporaryDir dir;
    QVERIFY(QDir::setCurrent(dir.path()));  // where the macros are read from
    AppSettings settings;
    settings.callsign = "G4XYZ";
    auto win = makeWindow(settings);
    MainDialog& d = *win->dialog;
    OperatorDesk& desk = d.station().desk();
    desk.setClock([] { return kNoon; });
    QVERIFY(QDir(dir.path()).mkdir(receiveLogFileName(kNoon.date())));  // the log cannot be written
    d.show();
    d.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&d));

    // Without a call, a macro that needs one waits in the entry.
    d.dispatchCommand(command::kFirstMacro + 1);
    QCOMPARE(d.txEntry()->toPlainText(), QStringLiteral(" de G4XYZ "));
    QVERIFY(!d.station().engine().transmitting());

    d.dispatchCommand(command::kTimeStamps);
    QVERIFY(d.action(command::kTimeStamps)->isChecked());
    for (const char* text : {"   \r\nDL1ABC: hi Bob\r\n", "more\r\n"}) {
        const auto line = bytes(text);
        for (std::uint8_t c : line) d.rxScreen()->appendReceived(c);
        desk.received(line);
    }
    QCOMPARE(d.rxScreen()->textCrLf(), QStringLiteral("   \r\n12:34 DL1ABC: hi Bob\r\n12:34 more\r\n"));
    QCOMPARE(d.secondaryText()->text(), QStringLiteral("DL1ABC"));
    const auto boxes = d.findChildren<QMessageBox*>();  // said once for both lines, in a box that does not block
    QVERIFY(boxes.size() == 1 && boxes[0]->windowTitle() == QStringLiteral("Receive log") && !boxes[0]->isModal());

    // Shift only fills the entry; the macro itself goes out through SEND.
    QTest::keyClick(d.txEntry(), Qt::Key_3, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(d.txEntry()->toPlainText(), QStringLiteral("DL1ABC de G4XYZ tnx for the QSO, 73 SK"));
    QVERIFY(!d.station().engine().transmitting());
    d.action(command::kFirstMacro + 1)->trigger();
    QVERIFY(d.station().engine().transmitting());
    QVERIFY(d.rxScreen()->textCrLf().endsWith(QStringLiteral("G4XYZ: DL1ABC de G4XYZ             ")));
    d.dispatchCommand(command::kFirstMacro);  // during the transmission: behind the sentence, not sent
    QCOMPARE(d.txEntry()->toPlainText(), QStringLiteral("DL1ABC de G4XYZ CQ CQ CQ de G4XYZ G4XYZ pse K"));
    d.dispatchCommand(command::kRecv);  // before anything was played: the sentence stays, in front
    QCOMPARE(d.txEntry()->toPlainText(), QStringLiteral("DL1ABC de G4XYZ CQ CQ CQ de G4XYZ G4XYZ pse K"));

    whenShown<MacroDialog>([](MacroDialog& box) {
        box.field(3)->setText(QStringLiteral("<CALL> <NAME> 5nn"));
        box.accept();
    });
    d.dispatchCommand(command::kEditMacros);
    QCOMPARE(loadMacros(dir.filePath(QLatin1String(kMacrosFileName)))[3], QStringLiteral("<CALL> <NAME> 5nn"));
    QCOMPARE(d.action(command::kFirstMacro + 3)->text(), QStringLiteral("&4  <CALL> <NAME> 5nn"));

    d.activateWindow();  // again after the macro dialog
    QVERIFY(QTest::qWaitForWindowActive(&d));
    whenShown<QsoDialog>([](QsoDialog& box) {
        QCOMPARE(box.record().call, QStringLiteral("DL1ABC"));
        QCOMPARE(box.record().on, kNoon);
        box.nameField()->setText(QStringLiteral("Bob"));
        box.accept();
    });
    QTest::keyClick(d.txEntry(), Qt::Key_L, Qt::ControlModifier);
    const QByteArray adif = readAll(dir.filePath(QLatin1String(kQsoLogFileName)));
    QVERIFY(adif.contains("<CALL:6>DL1ABC ") && adif.contains("<STATION_CALLSIGN:5>G4XYZ ") && adif.contains("<NAME:3>Bob "));
    d.dispatchCommand(command::kFirstMacro + 3);  // the name typed in the QSO dialog
    QVERIFY(d.rxScreen()->textCrLf().endsWith(QStringLiteral("G4XYZ: DL1ABC Bob 5nn            ")));
}

QTEST_MAIN(StationLogTest)
#include "station_log_test.moc"
