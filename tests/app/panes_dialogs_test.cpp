// The chat panes, the small dialogs with their value rules, and the help page.
#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>

#include "app/help_page.h"
#include "app/run_application.h"
#include "app/rx_screen.h"
#include "app/small_dialogs.h"
#include "app/tx_entry.h"
#include "app_test_support.h"

using namespace vantrel::app;
using namespace vantrel::app::test;

class PanesDialogsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { initialiseResources(); }
    void receivedCharactersAreFilteredAndGoToTheVeryEnd();
    void echoLineCarriesCallsignTextAndTwelveSpaces();
    void dropSentPrefixKeepsOnlyWhatWasTypedAfterSend();
    void savedFileHoldsTheTextWithCrLfAndReplacesAnOlderOne();
    void failedSaveIsReportedAndKeepsThePane();
    void squelchLevelRule();
    void captureRangeRule();
    void callsignDialogKeepsTextExactlyAndRefusesAQuote();
    void dialogsOfferTheCurrentValueAndCancelKeepsIt();
    void inputBoxReturnsTheFieldOnOkAndNothingOnCancel();
    void aboutBoxLooksAsItShould();
    void helpPageTellsTheOperatorWhatTheyNeed();
};

void PanesDialogsTest::receivedCharactersAreFilteredAndGoToTheVeryEnd() {
    RxScreen rx;
    for (int c : {int('H'), int('i'), 13, 10, 7, 200, int('x')}) rx.appendReceived(c);
    QCOMPARE(rx.textCrLf(), QStringLiteral("Hi\r\nx"));
    for (int c : {0, 9, 31, 128, 255}) rx.appendReceived(c);
    QCOMPARE(rx.textCrLf(), QStringLiteral("Hi\r\nx"));
    rx.appendReceived(10);  // a lone LF is a new line too
    rx.appendReceived('y');
    QVERIFY(rx.textCrLf().endsWith(QStringLiteral("\r\ny")));

    // The operator's selection does not divert the text; it is lost.
    QTextCursor select = rx.textCursor();
    select.setPosition(0);
    select.setPosition(2, QTextCursor::KeepAnchor);
    rx.setTextCursor(select);
    rx.appendReceived('Z');
    QVERIFY(rx.toPlainText().startsWith(QStringLiteral("Hi\n")));
    QVERIFY(rx.toPlainText().endsWith(QStringLiteral("yZ")));
    QVERIFY(!rx.textCursor().hasSelection());
    QCOMPARE(rx.textCursor().position(), rx.toPlainText().size());
}

void PanesDialogsTest::echoLineCarriesCallsignTextAndTwelveSpaces() {
    RxScreen rx;
    rx.appendReceived('o');
    rx.echoSent(QStringLiteral("nocall"), QStringLiteral("hello"));
    QCOMPARE(rx.textCrLf(), QStringLiteral("o\r\nnocall: hello            "));
    rx.appendReceived('k');  // continues on the same line after the spaces
    QVERIFY(rx.textCrLf().endsWith(QStringLiteral("hello            k")));
    rx.clear();
    rx.echoSent(QStringLiteral("nocall"), QString());
    QCOMPARE(rx.textCrLf(), QStringLiteral("\r\nnocall: ") + QString(12, QLatin1Char(' ')));
}

void PanesDialogsTest::dropSentPrefixKeepsOnlyWhatWasTypedAfterSend() {
    TxEntry tx;
    tx.setPlainText(QStringLiteral("hello world"));
    tx.dropSentPrefix(5);
    QCOMPARE(tx.toPlainText(), QStringLiteral(" world"));
    QCOMPARE(tx.textCursor().position(), 6);

    tx.setPlainText(QStringLiteral("hello"));
    tx.dropSentPrefix(5);
    QVERIFY(tx.toPlainText().isEmpty());

    tx.setPlainText(QStringLiteral("hel"));  // shortened during the transmission
    tx.dropSentPrefix(5);
    QCOMPARE(tx.toPlainText(), QStringLiteral("hel"));
    QCOMPARE(tx.textCursor().position(), 3);

    // A pasted line break counts as CR LF, as the transmitter sent it.
    tx.setPlainText(QStringLiteral("ab\ncd\nrest"));
    QCOMPARE(tx.takeText(), QStringLiteral("ab\r\ncd\r\nrest"));
    tx.dropSentPrefix(8);
    QCOMPARE(tx.toPlainText(), QStringLiteral("rest"));

    // Only 8-bit characters get in, typed or pasted: what the entry shows is what goes out.
    tx.clear();
    for (QChar c : QStringLiteral("caf") + QChar(0xE9) + QChar(0x20AC) + QStringLiteral("!")) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(&tx, &press);
    }
    QMimeData pasted;
    pasted.setText(QStringLiteral(" 5") + QChar(0x20AC));
    tx.insertFromMimeData(&pasted);
    QCOMPARE(tx.toPlainText(), QStringLiteral("caf") + QChar(0xE9) + QStringLiteral("! 5"));
}

void PanesDialogsTest::savedFileHoldsTheTextWithCrLfAndReplacesAnOlderOne() {
    QTemporaryDir dir;
    const QDateTime when(QDate(2026, 12, 7), QTime(20, 30, 15));
    RxScreen rx;
    for (int c : {int('C'), int('Q'), 13, 10, int('d'), int('e')}) rx.appendReceived(c);
    rx.echoSent(QStringLiteral("G4XYZ"), QStringLiteral("caf") + QChar(0xE9));
    auto first = rx.saveToFile(QDir(dir.path()), when);
    QVERIFY(first.ok);
    QFile file(dir.filePath(QStringLiteral("Vantrel07December2026203015.doc")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("CQ\r\nde\r\nG4XYZ: caf\xe9            \r\n"));
    file.close();
    QCOMPARE(rx.textCrLf(), QStringLiteral("CQ\r\nde\r\nG4XYZ: caf") + QChar(0xE9) + QString(12, QLatin1Char(' ')));

    rx.clear();
    rx.appendReceived('x');
    QVERIFY(rx.saveToFile(QDir(dir.path()), when).ok);  // same second: replaced
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("x\r\n"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 1);
    QCOMPARE(RxScreen::saveFileName(QDateTime(QDate(2027, 5, 1), QTime(9, 5, 3))),
             QStringLiteral("Vantrel01May2027090503.doc"));
}

void PanesDialogsTest::failedSaveIsReportedAndKeepsThePane() {
    auto win = makeWindow();
    MainDialog& d = *win->dialog;
    d.setWorkDirectory(QDir(QStringLiteral("/nonexistent/vantrel")));
    d.rxScreen()->appendReceived('A');
    d.dispatchCommand(439);
    QCOMPARE(win->messages.shown.size(), 1);
    QVERIFY(win->messages.shown[0].startsWith(QStringLiteral("Save RX screen: The RX screen could not be saved")));
    QVERIFY(win->messages.shown[0].contains(QStringLiteral("/nonexistent/vantrel/Vantrel")));
    QCOMPARE(d.rxScreen()->toPlainText(), QStringLiteral("A"));
}

void PanesDialogsTest::squelchLevelRule() {
    // The range the prompt states is kept, and said when it was not.
    const QString outside = QStringLiteral("Must be between 1 and 80");
    const std::pair<const char*, RangedEntry> cases[] = {
        {" 15", {15, {}}}, {"7.9", {7, {}}},       {"80.9", {80, {}}},     {"  42dB", {42, {}}}, {"0.5", {1, outside}},
        {"-3", {1, outside}}, {"abc", {1, outside}}, {"90", {80, outside}}, {"1e300", {80, outside}}};
    for (const auto& [text, want] : cases) {
        const RangedEntry got = squelchLevelFromText(QLatin1String(text));
        QVERIFY2(got.value == want.value && got.message == want.message, text);
    }
}

void PanesDialogsTest::captureRangeRule() {
    auto check = [](const char* text, int value, const char* message) {
        const CaptureTopEntry e = captureTopFromText(QLatin1String(text));
        QCOMPARE(e.value, value);
        QCOMPARE(e.message.value_or(QString()), QLatin1String(message));
    };
    check(" 122", 122, "");
    check("200", 122, "Must be less than 122");
    check("121.5", 122, "");  // halves to even
    check("120.5", 120, "");
    check("7", 7, "");
    // Below 7 the search has no tones left: held at 7 and said so.
    check("6.5", 7, "Must be at least 7");
    check("abc", 7, "Must be at least 7");
    check("-40", 7, "Must be at least 7");

    auto win = makeWindow();
    MainDialog& d = *win->dialog;
    d.setPrompter([](const QString&, const QString&, const QString&) { return QStringLiteral("200"); });
    d.dispatchCommand(908);
    QCOMPARE(d.settings().captureTop, 122);
    QCOMPARE(win->messages.shown, QStringList{QStringLiteral("Marker limit: Must be less than 122")});
    d.setPrompter([](const QString&, const QString&, const QString&) { return QStringLiteral("60"); });
    d.dispatchCommand(908);
    QCOMPARE(d.settings().captureTop, 60);
    QCOMPARE(d.station().currentRxSettings().captureTop, 60);
    QCOMPARE(win->messages.shown.size(), 1);
}

void PanesDialogsTest::callsignDialogKeepsTextExactlyAndRefusesAQuote() {
    auto win = makeWindow();
    MainDialog& d = *win->dialog;
    QString answer;
    d.setPrompter([&answer](const QString& prompt, const QString& title, const QString&) {
        if (prompt != QStringLiteral("Enter callsign") || title != QStringLiteral("CALLSIGN")) return QStringLiteral("?");
        return answer;
    });
    // Cancelled at the very first start: the idle text becomes "nocall" and two spaces.
    answer.clear();
    d.editCallsign();
    QCOMPARE(d.settings().callsign, std::string("nocall"));
    QCOMPARE(d.station().modulator().idleText(), std::string("nocall  "));
    // Cancelled again, or OK on the call sign offered: the idle text keeps its two spaces.
    d.editCallsign();
    answer = QStringLiteral("nocall");
    d.editCallsign();
    QCOMPARE(d.station().modulator().idleText(), std::string("nocall  "));

    auto fresh = makeWindow();
    fresh->dialog->setPrompter([](const QString&, const QString&, const QString&) { return QStringLiteral(" dl1abc "); });
    fresh->dialog->editCallsign();
    QCOMPARE(fresh->dialog->settings().callsign, std::string(" dl1abc "));  // exactly as typed
    QCOMPARE(fresh->dialog->station().modulator().idleText(), std::string(" dl1abc   "));

    answer = QStringLiteral("DL\"1ABC");
    d.editCallsign();
    QCOMPARE(d.settings().callsign, std::string("nocall"));
    QCOMPARE(win->messages.shown.size(), 1);
    QVERIFY(win->messages.shown[0].contains(QStringLiteral("double quote")));
    answer = QStringLiteral("DL1") + QChar(0x0416);
    d.editCallsign();
    QCOMPARE(d.settings().callsign, std::string("nocall"));
    QCOMPARE(win->messages.shown.size(), 2);
    answer = QStringLiteral("DL1ABC/P, Mike");
    d.editCallsign();
    QCOMPARE(d.settings().callsign, std::string("DL1ABC/P, Mike"));
    QCOMPARE(d.station().modulator().idleText(), std::string("DL1ABC/P, Mike"));  // identifies with the new call
}

void PanesDialogsTest::dialogsOfferTheCurrentValueAndCancelKeepsIt() {
    auto win = makeWindow();
    MainDialog& d = *win->dialog;
    QStringList defaults;
    QString answer;
    d.setPrompter([&](const QString&, const QString&, const QString& def) {
        defaults << def;
        return answer;
    });
    answer = QStringLiteral(" 15");
    d.editSquelchLevel();
    QCOMPARE(d.settings().squelchLevel, 15);
    answer.clear();
    d.editSquelchLevel();
    QCOMPARE(d.settings().squelchLevel, 15);
    answer = QStringLiteral("7.9");
    d.editSquelchLevel();
    QCOMPARE(d.settings().squelchLevel, 7);
    answer.clear();
    d.editCaptureRange();
    QCOMPARE(d.settings().captureTop, 122);
    QCOMPARE(defaults, QStringList({" 15", " 15", " 15", " 122"}));
}

void PanesDialogsTest::inputBoxReturnsTheFieldOnOkAndNothingOnCancel() {
    QWidget parent;
    QString seenTitle, seenPrompt;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<InputBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        seenTitle = box->windowTitle();
        seenPrompt = box->findChild<QLabel*>(QStringLiteral("prompt"))->text();
        QCOMPARE(box->field()->text(), QStringLiteral(" 15"));
        box->field()->setText(QStringLiteral("33"));
        QTest::keyClick(box->field(), Qt::Key_Return);
    });
    QCOMPARE(promptForText(&parent, kSquelchPrompt, QStringLiteral("Squelch trigger level"), QStringLiteral(" 15")),
             QStringLiteral("33"));
    QCOMPARE(seenTitle, QStringLiteral("Squelch trigger level"));
    QCOMPARE(seenPrompt.split(QLatin1Char('\n')).size(), 4);

    QTimer::singleShot(0, [] {
        auto* box = qobject_cast<InputBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        box->field()->setText(QStringLiteral("typed"));
        for (QPushButton* b : box->findChildren<QPushButton*>())
            if (b->text() == QStringLiteral("Cancel")) b->click();
    });
    QVERIFY(promptForText(&parent, QStringLiteral("Enter callsign"), QStringLiteral("CALLSIGN"), QStringLiteral("x")).isEmpty());
}

void PanesDialogsTest::aboutBoxLooksAsItShould() {
    QWidget parent;
    AboutBox about(&parent);
    QCOMPARE(about.windowTitle(), QStringLiteral("About Orlix"));
    QVERIFY(about.windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(about.palette().color(QPalette::Window), QColor(159, 220, 220));
    QVERIFY(about.findChildren<QPushButton*>().isEmpty());
    QLabel* title = about.findChild<QLabel*>(QStringLiteral("AboutTitle"));
    QCOMPARE(title->text(), QStringLiteral("Vantrel Sentence Mode (Orlix)"));
    QCOMPARE(title->font().pointSize(), 14);
}

void PanesDialogsTest::helpPageTellsTheOperatorWhatTheyNeed() {
    HelpViewer viewer(nullptr, helpPageSource(QDir(QStringLiteral("/nonexistent/vantrel"))));
    const QString html = viewer.toHtml();
    for (const char* topic : {"pavucontrol", "/dev/ttyS", "/dev/serial/by-id", "dialout", "Sensitive receive",
                              "squelch may need lowering", "Vantrel07December2026203015.doc", "drag"})
        QVERIFY2(html.contains(QLatin1String(topic)), topic);
    // The operator's own page in the working folder comes first.
    QTemporaryDir dir;
    QFile own(dir.filePath(QStringLiteral("VantrelChat.htm")));
    QVERIFY(own.open(QIODevice::WriteOnly) && own.write("<p>my notes</p>") > 0);
    QCOMPARE(helpPageSource(QDir(dir.path())), QUrl::fromLocalFile(own.fileName()));
}

QTEST_MAIN(PanesDialogsTest)
#include "panes_dialogs_test.moc"
