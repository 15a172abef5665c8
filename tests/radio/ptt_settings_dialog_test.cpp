// The "PTT settings" dialog driven as the operator would, offscreen, with the port behind the
// in-memory link (and the real one for a device that is not there).
#include "radio/memory_serial_link.h"
#include "radio/message_presenter.h"
#include "radio/ptt_controller.h"
#include "radio/ptt_settings_dialog.h"
#include "radio/qt_serial_link.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace vantrel::radio;

namespace {

struct RecordingPresenter : MessagePresenter {
    struct Message {
        QString caption;
        QString text;
    };
    void inform(QWidget*, const QString& caption, const QString& text) override
    {
        messages.append({caption, text});
    }
    QList<Message> messages;
};

template <typename Widget = QWidget>
Widget* widgetById(QDialog& dialog, int id)
{
    for (Widget* widget : dialog.findChildren<Widget*>()) {
        if (widget->property("controlId").toInt() == id) return widget;
    }
    return nullptr;
}

using Bytes = std::vector<std::uint8_t>;

}  // namespace

class PttSettingsDialogTest : public QObject {
    Q_OBJECT

private:
    std::shared_ptr<MemorySerialLinkState> line;
    std::unique_ptr<PttController> ptt;
    RecordingPresenter presenter;

    QList<int> enabledIds(QDialog& dialog)
    {
        QList<int> ids;
        for (int id = control::kPortList; id <= control::kTextCommandsOption; ++id) {
            if (widgetById(dialog, id)->isEnabled()) ids.append(id);
        }
        return ids;
    }

    void clickApplyAndWaitForClose(QDialog& dialog)
    {
        QTest::mouseClick(widgetById<QPushButton>(dialog, control::kApplyButton), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.isVisible(), 3000);
    }

private slots:
    void init()
    {
        auto link = std::make_unique<MemorySerialLink>();
        line = link->state();
        ptt = std::make_unique<PttController>(std::move(link));
        presenter.messages.clear();
    }

    void opensWithTheDefaultsAndStopsThePort()
    {
        QVERIFY(ptt->openPort("COM1", "19200", "8", "None", "1"));
        PttSettingsDialog dialog(*ptt, presenter);
        dialog.show();
        QVERIFY(!ptt->isPortOpen());
        QCOMPARE(dialog.windowTitle(), QString("PTT settings") + QString(38, ' ') + "Comms STOPPED");

        for (int id = control::kPortList; id <= control::kTextCommandsOption; ++id) {
            QWidget* widget = widgetById(dialog, id);
            QVERIFY2(widget, qPrintable(QString::number(id)));
            QVERIFY(!widget->objectName().isEmpty());
        }
        QVERIFY(widgetById<QRadioButton>(dialog, control::kUsePttOption)->isChecked());
        QVERIFY(!widgetById<QRadioButton>(dialog, control::kUseCatOption)->isChecked());
        QVERIFY(widgetById<QRadioButton>(dialog, control::kHexCommandsOption)->isChecked());
        QVERIFY(!widgetById<QCheckBox>(dialog, control::kUseCommandsCheck)->isChecked());
        const QStringList shown{"COM1", "19200", "8", "None", "1", "66,ICOM 746PRO"};
        for (int i = 0; i < shown.size(); ++i) {
            QCOMPARE(widgetById<QComboBox>(dialog, control::kPortList + i)->currentText(), shown[i]);
        }
        QCOMPARE(enabledIds(dialog), (QList<int>{control::kPortList, control::kApplyButton,
                                                 control::kUseCatOption, control::kUsePttOption}));

        auto* ports = widgetById<QComboBox>(dialog, control::kPortList);
        QVERIFY(ports->count() >= 20);
        QCOMPARE(ports->itemText(19), QString("COM20"));
        auto* addresses = widgetById<QComboBox>(dialog, control::kRadioAddressList);
        QCOMPARE(addresses->count(), 11);
        QCOMPARE(addresses->itemText(8), QString("7A,ICOM 7600"));
        QCOMPARE(addresses->itemText(10), QString("  "));
        QCOMPARE(widgetById<QLineEdit>(dialog, control::kTxCommandBox)->text(), QString("FEFEnnE01C0001FD"));
    }

    void methodAndCommandControlsFollowTheClicks()
    {
        PttSettingsDialog dialog(*ptt, presenter);
        dialog.show();
        auto* useCat = widgetById<QRadioButton>(dialog, control::kUseCatOption);
        auto* usePtt = widgetById<QRadioButton>(dialog, control::kUsePttOption);
        auto* useCommands = widgetById<QCheckBox>(dialog, control::kUseCommandsCheck);
        const QList<int> catLists{control::kPortList, control::kBaudRateList, control::kDataBitsList,
                                  control::kParityList, control::kStopBitsList, control::kRadioAddressList};
        const QList<int> commandControls{control::kTxCommandBox, control::kRxCommandBox,
                                         control::kHexCommandsOption, control::kTextCommandsOption};

        QTest::mouseClick(useCat, Qt::LeftButton);
        QCOMPARE(ptt->settings().pttMethod, std::string("CAT"));
        QVERIFY(!usePtt->isChecked());
        const QList<int> catEnabled = catLists + QList<int>{control::kApplyButton, control::kUseCommandsCheck,
                                                            control::kUseCatOption, control::kUsePttOption};
        QCOMPARE(enabledIds(dialog), catEnabled);

        QTest::mouseClick(useCommands, Qt::LeftButton);
        QCOMPARE(ptt->settings().useCommands, 1);
        for (int id : commandControls) QVERIFY(widgetById(dialog, id)->isEnabled());
        QTest::mouseClick(widgetById(dialog, control::kTextCommandsOption), Qt::LeftButton);
        QCOMPARE(ptt->settings().commandKind, std::string("TXT"));
        QVERIFY(!widgetById<QRadioButton>(dialog, control::kHexCommandsOption)->isChecked());

        QTest::mouseClick(usePtt, Qt::LeftButton);
        QCOMPARE(ptt->settings().pttMethod, std::string("PTT"));
        QCOMPARE(enabledIds(dialog), (QList<int>{control::kPortList, control::kApplyButton,
                                                 control::kUseCatOption, control::kUsePttOption}));

        // Back to CAT with the box still ticked: the commands come back with it.
        QTest::mouseClick(useCat, Qt::LeftButton);
        QCOMPARE(ptt->settings().useCommands, 1);
        for (int id : commandControls) QVERIFY(widgetById(dialog, id)->isEnabled());
        QTest::mouseClick(useCommands, Qt::LeftButton);
        QCOMPARE(ptt->settings().useCommands, 0);
        for (int id : commandControls) QVERIFY(!widgetById(dialog, id)->isEnabled());

        // Cancel keeps the method the operator clicked but leaves the port closed.
        QTest::mouseClick(useCat, Qt::LeftButton);
        dialog.reject();
        QCOMPARE(ptt->settings().pttMethod, std::string("CAT"));
        QVERIFY(!ptt->isPortOpen());
        QVERIFY(dialog.windowTitle().endsWith("Comms STOPPED"));
    }

    void opensWithStoredCommandsInUse()
    {
        PortSettings s;
        s.pttMethod = "CAT";
        s.useCommands = 1;
        s.commandKind = "TXT";
        s.txCommandText = "TX;";
        s.baudIndex = 99;  // beyond the list: nothing selected
        ptt->setSettings(s);
        PttSettingsDialog dialog(*ptt, presenter);
        QVERIFY(widgetById<QRadioButton>(dialog, control::kUseCatOption)->isChecked());
        QVERIFY(widgetById<QCheckBox>(dialog, control::kUseCommandsCheck)->isChecked());
        QVERIFY(widgetById<QRadioButton>(dialog, control::kTextCommandsOption)->isChecked());
        QVERIFY(widgetById(dialog, control::kTxCommandBox)->isEnabled());
        QCOMPARE(widgetById<QLineEdit>(dialog, control::kTxCommandBox)->text(), QString("TX;"));
        QCOMPARE(widgetById<QComboBox>(dialog, control::kBaudRateList)->currentIndex(), -1);
    }

    void applyWithAChosenModelKeysItAtOnce()
    {
        ptt->settings().pttMethod = "CAT";
        PttSettingsDialog dialog(*ptt, presenter);
        dialog.show();
        widgetById<QComboBox>(dialog, control::kRadioAddressList)->setCurrentIndex(8);
        widgetById<QComboBox>(dialog, control::kPortList)->setCurrentIndex(2);
        widgetById<QComboBox>(dialog, control::kParityList)->setCurrentIndex(0);
        QTest::mouseClick(widgetById<QPushButton>(dialog, control::kApplyButton), Qt::LeftButton);
        QVERIFY(dialog.windowTitle().endsWith("Comms STARTED"));
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.isVisible(), 3000);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));

        QVERIFY(ptt->isPortOpen());
        QCOMPARE(line->devicePath, std::string("/dev/ttyS2"));
        QCOMPARE(line->parity, Parity::Even);
        const PortSettings& s = ptt->settings();
        QCOMPARE(s.portIndex, 3);
        QCOMPARE(s.parityIndex, 1);
        QCOMPARE(s.addressIndex, 9);
        QCOMPARE(s.radioAddress, std::string("7A"));
        ptt->keyTransmitter();
        QCOMPARE(line->written, (Bytes{0xFE, 0xFE, 0x7A, 0xE0, 0x1C, 0x00, 0x01, 0xFD}));
    }

    void aTypedAddressIsKeptAndOfferedAgain()
    {
        ptt->settings().pttMethod = "CAT";
        {
            PttSettingsDialog dialog(*ptt, presenter);
            dialog.show();
            auto* address = widgetById<QComboBox>(dialog, control::kRadioAddressList);
            address->lineEdit()->selectAll();
            QTest::keyClicks(address->lineEdit(), "5E");
            clickApplyAndWaitForClose(dialog);
        }
        QCOMPARE(ptt->settings().addressIndex, 0);
        QCOMPARE(ptt->settings().radioAddress, std::string("5E"));
        ptt->keyTransmitter();
        QCOMPARE(line->written, (Bytes{0xFE, 0xFE, 0x5E, 0xE0, 0x1C, 0x00, 0x01, 0xFD}));
        ptt->unkeyTransmitter();

        PttSettingsDialog again(*ptt, presenter);
        again.show();
        auto* address = widgetById<QComboBox>(again, control::kRadioAddressList);
        QCOMPARE(address->count(), 11);
        QCOMPARE(address->itemText(10), QString("5E"));
        QCOMPARE(address->currentIndex(), -1);
        // Applying again without touching the field keeps the address rather than sending to 00.
        line->written.clear();
        clickApplyAndWaitForClose(again);
        QCOMPARE(ptt->settings().radioAddress, std::string("5E"));
        ptt->keyTransmitter();
        QCOMPARE(line->written[2], std::uint8_t{0x5E});
    }

    void aTypedDevicePathIsOpenedAsTypedAndRemembered()
    {
        PttSettingsDialog dialog(*ptt, presenter);
        dialog.show();
        auto* port = widgetById<QComboBox>(dialog, control::kPortList);
        port->lineEdit()->selectAll();
        QTest::keyClicks(port->lineEdit(), "/dev/ttyUSB7");
        clickApplyAndWaitForClose(dialog);
        QCOMPARE(line->devicePath, std::string("/dev/ttyUSB7"));
        QCOMPARE(ptt->settings().portPath, std::string("/dev/ttyUSB7"));
        QCOMPARE(ptt->settings().portIndex, 0);

        PttSettingsDialog again(*ptt, presenter);
        QCOMPARE(widgetById<QComboBox>(again, control::kPortList)->currentText(), QString("/dev/ttyUSB7"));
    }

    void aMissingPortShowsTheFailureBoxAndClosesTheDialog()
    {
        QTemporaryDir empty;
        PttController real(std::make_unique<QtSerialLink>());
        real.settings().portPath = empty.filePath("no-such-port").toStdString();
        PttSettingsDialog dialog(real, presenter);
        dialog.show();
        QTest::mouseClick(widgetById<QPushButton>(dialog, control::kApplyButton), Qt::LeftButton);
        QCOMPARE(presenter.messages.size(), 1);
        QCOMPARE(presenter.messages[0].caption, QString("CAT control panel for ICOM radios"));
        QCOMPARE(presenter.messages[0].text, QString("Failure to start communications!"));
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(!real.isPortOpen());
        real.keyTransmitter();
        QVERIFY(!real.isKeyed());
    }
};

QTEST_MAIN(PttSettingsDialogTest)
#include "ptt_settings_dialog_test.moc"
