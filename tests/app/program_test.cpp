// vantrel-chat as a separate process: its settings file after a signal, and a missing display.
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include "app/settings.h"

namespace {

const QString kProgram = QStringLiteral(VANTREL_CHAT_PATH);

QProcessEnvironment offscreen() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // No sound server: capture fails, a message box is up when the signal arrives.
    env.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("unix:/nonexistent/vantrel-test"));
    return env;
}

}  // namespace

class ProgramTest : public QObject {
    Q_OBJECT
private slots:
    void signalClosesTheWindowAndWritesAFullSettingsFile_data();
    void signalClosesTheWindowAndWritesAFullSettingsFile();
    void keepsTheOperatorsSettingsAcrossARun();
    void withoutADisplayItSaysSoAndFails();
    void fromTheMenuItWorksInItsOwnFolder_data();
    void fromTheMenuItWorksInItsOwnFolder();
    void helpVersionAndUnknownOptions();
};

void ProgramTest::signalClosesTheWindowAndWritesAFullSettingsFile_data() {
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGHUP") << int(SIGHUP);
}

void ProgramTest::signalClosesTheWindowAndWritesAFullSettingsFile() {
    QFETCH(int, signal);
    QTemporaryDir dir;
    QProcess chat;
    chat.setProcessEnvironment(offscreen());
    chat.setWorkingDirectory(dir.path());
    chat.start(kProgram, {});
    QVERIFY(chat.waitForStarted());
    QTest::qWait(1500);
    QCOMPARE(chat.state(), QProcess::Running);
    ::kill(static_cast<pid_t>(chat.processId()), signal);
    QVERIFY(chat.waitForFinished(10000));
    QCOMPARE(chat.exitStatus(), QProcess::NormalExit);
    QCOMPARE(chat.exitCode(), 0);

    QFile file(dir.filePath(QStringLiteral("Settings.ini")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    QCOMPARE(text.count("\r\n"), 25);
    QVERIFY(text.startsWith("\"nocall\"\r\n15\r\n122\r\n1\r\n\"PTT\"\r\n\"  \"\r\n7\r\n4\r\n3\r\n1\r\n1\r\n"
                            "\"FEFEnnE01C0001FD\"\r\n\"FEFEnnE01C0000FD\"\r\n0\r\n\"HEX\"\r\n-1\r\n-1\r\n"));
    QVERIFY(text.endsWith("\r\n1\r\n\"\"\r\n0\r\n1\r\n\"\"\r\n0\r\n1\r\n"));  // Sensitive receive on, Hamlib off
    const vantrel::app::AppSettings back = vantrel::app::parseSettings(text.toStdString());
    QVERIFY(back.lastClientWidth > 100);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("Settings.ini")});
}

void ProgramTest::keepsTheOperatorsSettingsAcrossARun() {
    QTemporaryDir dir;
    vantrel::app::AppSettings mine;
    mine.callsign = "G4XYZ";
    mine.squelchLevel = 33;
    mine.captureTop = 90;  // each run starts at 122 whatever the file held
    mine.sensitiveReceive = 0;  // the operator chose the standard receiver
    mine.portDevice = "/dev/ttyUSB3";
    QVERIFY(vantrel::app::saveSettings(mine, dir.filePath(QStringLiteral("Settings.ini")).toStdString()));
    QProcess chat;
    chat.setProcessEnvironment(offscreen());
    chat.setWorkingDirectory(dir.path());
    chat.start(kProgram, {});
    QVERIFY(chat.waitForStarted());
    QTest::qWait(1500);
    chat.terminate();
    QVERIFY(chat.waitForFinished(10000));
    const auto back = vantrel::app::loadSettings(dir.filePath(QStringLiteral("Settings.ini")).toStdString());
    QCOMPARE(back.callsign, std::string("G4XYZ"));
    QCOMPARE(back.squelchLevel, 33);
    QCOMPARE(back.captureTop, 122);
    QCOMPARE(back.sensitiveReceive, 0);
    QCOMPARE(back.portDevice, std::string("/dev/ttyUSB3"));
}

void ProgramTest::withoutADisplayItSaysSoAndFails() {
    QTemporaryDir dir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(QLatin1String(name));
    QProcess chat;
    chat.setProcessEnvironment(env);
    chat.setWorkingDirectory(dir.path());
    chat.start(kProgram, {});
    QVERIFY(chat.waitForFinished(10000));
    QCOMPARE(chat.exitStatus(), QProcess::NormalExit);
    QVERIFY(chat.exitCode() != 0);
    const QByteArray err = chat.readAllStandardError();
    QCOMPARE(err.count('\n'), 1);
    QVERIFY(err.contains("no display"));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("Settings.ini"))));
}

void ProgramTest::fromTheMenuItWorksInItsOwnFolder_data() {
    QTest::addColumn<bool>("dataHomeSet");
    QTest::newRow("XDG_DATA_HOME") << true;
    QTest::newRow("default under HOME") << false;
}

void ProgramTest::fromTheMenuItWorksInItsOwnFolder() {
    QFETCH(bool, dataHomeSet);
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("started-in"));
    QProcessEnvironment env = offscreen();
    env.insert(QStringLiteral("HOME"), dir.filePath(QStringLiteral("home")));
    if (dataHomeSet)
        env.insert(QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("data")));
    else
        env.insert(QStringLiteral("XDG_DATA_HOME"), QStringLiteral("relative/is/ignored"));
    const QString expected = dataHomeSet ? dir.filePath(QStringLiteral("data/vantrel-chat"))
                                         : dir.filePath(QStringLiteral("home/.local/share/vantrel-chat"));
    QProcess chat;
    chat.setProcessEnvironment(env);
    chat.setWorkingDirectory(dir.filePath(QStringLiteral("started-in")));
    chat.start(kProgram, {QStringLiteral("--from-menu")});
    QVERIFY(chat.waitForStarted());
    QTest::qWait(1500);
    chat.terminate();
    QVERIFY(chat.waitForFinished(10000));
    QCOMPARE(chat.exitCode(), 0);
    QVERIFY2(QFile::exists(expected + QStringLiteral("/Settings.ini")), qPrintable(chat.readAllStandardError()));
    QVERIFY(QDir(dir.filePath(QStringLiteral("started-in"))).isEmpty());
}

void ProgramTest::helpVersionAndUnknownOptions() {
    QTemporaryDir dir;
    QProcess chat;
    chat.setProcessEnvironment(offscreen());
    chat.setWorkingDirectory(dir.path());
    chat.start(kProgram, {QStringLiteral("--help")});
    QVERIFY(chat.waitForFinished(10000));
    QCOMPARE(chat.exitCode(), 0);
    const QByteArray help = chat.readAllStandardOutput();
    QVERIFY(help.contains("--play FILE") && help.contains("--from-menu"));

    chat.start(kProgram, {QStringLiteral("--version")});
    QVERIFY(chat.waitForFinished(10000));
    QCOMPARE(chat.exitCode(), 0);
    QVERIFY(chat.readAllStandardOutput().startsWith("vantrel-chat "));

    for (const QStringList& args : {QStringList{QStringLiteral("--paly"), QStringLiteral("x.wav")}, QStringList{QStringLiteral("--play")}}) {
        chat.start(kProgram, args);
        QVERIFY(chat.waitForFinished(10000));
        QCOMPARE(chat.exitCode(), 2);
        QVERIFY(chat.readAllStandardError().startsWith("vantrel-chat: "));
    }
    QVERIFY(QDir(dir.path()).isEmpty());
}

QTEST_GUILESS_MAIN(ProgramTest)
#include "program_test.moc"
