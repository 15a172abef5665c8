// The "PTT settings" dialog driven as the operator would, offscreen, with the port behind the
// in-memory link (and the real one for a device that is not there).
#include "radio/memory_serial_link.h"
#include "radio/message_presenter.h"
#include "radio/ptt_controller.h"
#include "radio/ptt_settings_dialog.h"
#include "radio/qt_serial_link.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace vantrel::radio;
using Bytes = std::vector<std::uint8_t>;

namespace {

struct RecordingPresenter : MessagePresenter {
    void inform(QWidget*, const QString& caption, const QString& text) override
    {
        shown.append(caption + " / " + text);
    }
    QStringList shown;
};

template <typename Widget = QWidget>
Widget* byId(QDialog& dialog, int id)
{
    for (Widget* widget : dialog.findChildren<Widget*>()) {
        if (widget->property("controlId").toInt() == id) return widget;
    }
    return nullptr;
}

QList<int> enabledIds(QDialog& dialog)
{
    QList<int> ids;
    for (int id = control::kPortList; id <= control::kTextCommandsOption; ++id) {
        if (byId(dialog, id)->isEnabled()) ids.append(id);
    }
    return ids;
}

void typeInto(QDialog& dialog, int listId, const QString& text)
{
    QLineEdit* field = byId<QComboBox>(dialog, listId)->lineEdit();
    field->selectAll();
    QTest::keyClicks(field, text);
}

void click(QDialog& dialog, int id) { QTest::mouseClick(byId(dialog, id), Qt::LeftButton); }

const QList<int> kPttEnabled{control::kPortList, control::kApplyButton, control::kUseCatOption,
                             control::kUsePttOption};
const QList<int> kCommandControls{control::kTxCommandBox, control::kRxCommandBox,
                                  control::kHexCommandsOption, control::kTextCommandsOption};

}  // namespace

class PttSettingsDialogTest : public QObject {
    Q_OBJECT

    std::shared_ptr<MemorySerialLinkState> line;
    std::unique_ptr<PttController> ptt;
    RecordingPresenter presenter;

    void applyAndWaitForClose(QDialog& dialog)
    {
        click(dialog, control::kApplyButton);
        QVERIFY(dialog.windowTitle().endsWith("Comms STARTED"));
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.isVisible(), 3000);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }

private slots:
    void init()
    {
        auto link = std::make_unique<MemorySerialLink>();
        line = link->state();
        ptt = std::make_unique<PttController>(std::move(link));
        presenter.shown.clear();
    }

    void opensWithTheDefaultsAndLeavesThePortAsItWas()
    {
        QVERIFY(ptt->openPort("COM1", "19200", "8", "None", "1"));
        ptt->keyTransmitter();
        PttSettingsDialog dialog(*ptt, presenter, nullptr, {true, {}});
        dialog.show();
        // A transmission under way stays keyed while the dialog is open, and after Escape.
        QVERIFY(ptt->isPortOpen() && ptt->isKeyed());
        QCOMPARE(dialog.windowTitle(), QString("PTT settings") + QString(38, ' ') + "Comms STARTED");
        QCOMPARE(byId<QLabel>(dialog, control::kPortStatusLine)->text(), QString("Port open"));
        QVERIFY(byId<QCheckBox>(dialog, control::kOpenAtStartCheck)->isChecked());
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QVERIFY(!dialog.isVisible());
        QVERIFY(ptt->isPortOpen() && ptt->isKeyed());
        ptt->unkeyTransmitter();
        for (int id = control::kPortList; id <= control::kTextCommandsOption; ++id) {
            QVERIFY2(byId(dialog, id) && !byId(dialog, id)->objectName().isEmpty(), qPrintable(QString::number(id)));
        }
        QVERIFY(byId<QRadioButton>(dialog, control::kUsePttOption)->isChecked());
        QVERIFY(!byId<QRadioButton>(dialog, control::kUseCatOption)->isChecked());
        QVERIFY(byId<QRadioButton>(dialog, control::kHexCommandsOption)->isChecked());
        const QStringList shown{"COM1", "19200", "8", "None", "1", "66,ICOM 746PRO"};
        for (int i = 0; i < shown.size(); ++i) {
            QCOMPARE(byId<QComboBox>(dialog, control::kPortList + i)->currentText(), shown[i]);
        }
        QCOMPARE(enabledIds(dialog), kPttEnabled);
        QCOMPARE(byId<QComboBox>(dialog, control::kPortList)->itemText(19), QString("COM20"));
        auto* addresses = byId<QComboBox>(dialog, control::kRadioAddressList);
        QCOMPARE(addresses->count(), 11);
        QCOMPARE(addresses->itemText(10), QString("  "));
    }

    void methodAndCommandControlsFollowTheClicks()
    {
        PttSettingsDialog dialog(*ptt, presenter);
        dialog.show();
        click(dialog, control::kUseCatOption);
        QCOMPARE(ptt->settings().pttMethod, std::string("CAT"));
        QVERIFY(!byId<QRadioButton>(dialog, control::kUsePttOption)->isChecked());
        QCOMPARE(enabledIds(dialog), (QList<int>{1526, 1527, 1528, 1529, 1530, 1531, 1534, 1535, 1536, 1537}));

        click(dialog, control::kUseCommandsCheck);
        QCOMPARE(ptt->settings().useCommands, 1);
        for (int id : kCommandControls) QVERIFY(byId(dialog, id)->isEnabled());
        click(dialog, control::kTextCommandsOption);
        QCOMPARE(ptt->settings().commandKind, std::string("TXT"));
        QVERIFY(!byId<QRadioButton>(dialog, control::kHexCommandsOption)->isChecked());

        click(dialog, control::kUsePttOption);
        QCOMPARE(ptt->settings().pttMethod, std::string("PTT"));
        QCOMPARE(enabledIds(dialog), kPttEnabled);

        // Back to CAT with the box still ticked: the commands come back with it.
        click(dialog, control::kUseCatOption);
        for (int id : kCommandControls) QVERIFY(byId(dialog, id)->isEnabled());
        click(dialog, control::kUseCommandsCheck);
        QCOMPARE(ptt->settings().useCommands, 0);
        for (int id : kCommandControls) QVERIFY(!byId(dialog, id)->isEnabled());

        // Cancel keeps the method the operator clicked but leaves the port closed.
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(ptt->settings().pttMethod, std::string("CAT"));
        QVERIFY(!ptt->isPortOpen());
    }

    void applyWithAChosenModelKeysItAtOnce()
    {
        ptt->settings().pttMethod = "VOX";  // from a hand-edited file: shown, and used, as CAT
        PttSettingsDialog dialog(*ptt, presenter);
        dialog.show();
        QVERIFY(byId<QRadioButton>(dialog, control::kUseCatOption)->isChecked());
        byId<QComboBox>(dialog, control::kRadioAddressList)->setCurrentIndex(8);
        byId<QComboBox>(dialog, control::kPortList)->setCurrentIndex(2);
        byId<QComboBox>(dialog, control::kParityList)->setCurrentIndex(0);
        applyAndWaitForClose(dialog);
        QCOMPARE(line->devicePath, std::string("/dev/ttyS2"));
        QCOMPARE(line->parity, Parity::Even);
        const PortSettings& s = ptt->settings();
        QCOMPARE(std::tie(s.portIndex, s.parityIndex, s.addressIndex), std::tuple(3, 1, 9));
        QCOMPARE(s.radioAddress, std::string("7A"));
        QCOMPARE(line->written, (Bytes{0xFE, 0xFE, 0x7A, 0xE0, 0x1C, 0x00, 0x00, 0xFD}));  // receive, at opening
        line->written.clear();
        ptt->keyTransmitter();
        QCOMPARE(line->written, (Bytes{0xFE, 0xFE, 0x7A, 0xE0, 0x1C, 0x00, 0x01, 0xFD}));
    }

    void anUnknownCommandKindIsShownAndUsedAsText()
    {
        PortSettings& s = ptt->settings();
        s.pttMethod = "CAT";
        s.useCommands = 1;
        s.commandKind = "hex";  // from a hand-edited file: neither "HEX" nor "TXT"
        s.txCommandText = "TX1;";
        s.rxCommandText = "TX0;";
        PttSettingsDialog dialog(*ptt, presenter);
        dialog.show();
        QVERIFY(byId<QRadioButton>(dialog, control::kTextCommandsOption)->isChecked());
        QCOMPARE(s.commandKind, std::string("TXT"));
        applyAndWaitForClose(dialog);
        line->written.clear();
        ptt->keyTransmitter();
        QCOMPARE(line->written, (Bytes{'T', 'X', '1', ';'}));
    }

    void typedAddressAndPortAreKeptAndOfferedAgain()
    {
        ptt->settings().pttMethod = "CAT";
        {
            PttSettingsDialog dialog(*ptt, presenter);
            dialog.show();
            typeInto(dialog, control::kRadioAddressList, "5E");
            typeInto(dialog, control::kPortList, "/dev/ttyUSB7");
            applyAndWaitForClose(dialog);
        }
        const PortSettings& s = ptt->settings();
        QCOMPARE(std::tie(s.addressIndex, s.portIndex), std::tuple(0, 0));
        QCOMPARE(s.radioAddress, std::string("5E"));
        QCOMPARE(s.portPath, std::string("/dev/ttyUSB7"));
        QCOMPARE(line->devicePath, std::string("/dev/ttyUSB7"));

        PttSettingsDialog again(*ptt, presenter);
        again.show();
        auto* address = byId<QComboBox>(again, control::kRadioAddressList);
        QCOMPARE(address->count(), 11);
        QCOMPARE(address->itemText(10), QString("5E"));
        QCOMPARE(address->currentIndex(), -1);
        QCOMPARE(byId<QComboBox>(again, control::kPortList)->currentText(), QString("/dev/ttyUSB7"));
        // Applying again untouched keeps the address rather than sending frames to 00.
        applyAndWaitForClose(again);
        line->written.clear();
        ptt->keyTransmitter();
        QCOMPARE(line->written, (Bytes{0xFE, 0xFE, 0x5E, 0xE0, 0x1C, 0x00, 0x01, 0xFD}));
    }

    void aMissingPortShowsTheFailureBoxAndWhyBesideApply()
    {
        QTemporaryDir empty;
        PttController real(std::make_unique<QtSerialLink>());
        real.settings().portPath = empty.filePath("no-such-port").toStdString();
        PttSettingsDialog dialog(real, presenter);
        dialog.show();
        QCOMPARE(byId<QLabel>(dialog, control::kPortStatusLine)->text(), QString("Port closed: APPLY opens it"));
        click(dialog, control::kApplyButton);
        QCOMPARE(presenter.shown, QStringList{"CAT control panel for ICOM radios / Failure to start communications!"});
        // The dialog stays, saying why, for another port to be chosen.
        QVERIFY(dialog.isVisible());
        QCOMPARE(byId<QLabel>(dialog, control::kPortStatusLine)->text(), QString("Port not open: No such device"));
        QVERIFY(dialog.windowTitle().endsWith("Comms STOPPED"));
        QVERIFY(!real.isPortOpen());
    }

    void applyDuringATransmissionEndsItFirstWithTheCommandsThatKeyedIt()
    {
        ptt->settings().pttMethod = "CAT";
        QVERIFY(ptt->openPort("COM1", "19200", "8", "None", "1"));
        ptt->buildCatCommands("66", "", "");
        ptt->keyTransmitter();
        line->written.clear();
        int calls = 0;
        // The station's RECV, while the port is still open.
        PttSettingsDialog dialog(*ptt, presenter, nullptr, {false, [&] { calls += ptt->isPortOpen(); ptt->unkeyTransmitter(); }});
        dialog.show();
        byId<QComboBox>(dialog, control::kRadioAddressList)->setCurrentIndex(8);  // 7A
        applyAndWaitForClose(dialog);
        QCOMPARE(calls, 1);
        // Unkeyed at the old address, then the port reopened in receive at the new one.
        QCOMPARE(line->written, (Bytes{0xFE, 0xFE, 0x66, 0xE0, 0x1C, 0x00, 0x00, 0xFD, 0xFE, 0xFE, 0x7A, 0xE0, 0x1C, 0x00, 0x00, 0xFD}));
    }
};

QTEST_MAIN(PttSettingsDialogTest)
#include "ptt_settings_dialog_test.moc"
