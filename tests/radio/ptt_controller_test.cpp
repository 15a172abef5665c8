// Keying logic against the in-memory port: line states, command bytes and the text rules.
#include "radio/memory_serial_link.h"
#include "radio/ptt_controller.h"
#include "radio/serial_lists.h"
#include "radio/serial_port_discovery.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace vantrel::radio {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Lines = MemorySerialLinkState::Lines;
constexpr Lines kLow{false, false};
constexpr Lines kHigh{true, true};
const Bytes kTxOn66{0xFE, 0xFE, 0x66, 0xE0, 0x1C, 0x00, 0x01, 0xFD};
const Bytes kTxOff66{0xFE, 0xFE, 0x66, 0xE0, 0x1C, 0x00, 0x00, 0xFD};

class PttControllerTest : public ::testing::Test {
protected:
    PttControllerTest()
    {
        auto link = std::make_unique<MemorySerialLink>();
        line = link->state();
        ptt = std::make_unique<PttController>(std::move(link));
    }
    bool openDefaults(const char* port = "COM1") { return ptt->openPort(port, "19200", "8", "None", "1"); }
    void useCat(const char* address = "66")
    {
        ptt->settings().pttMethod = "CAT";
        ptt->buildCatCommands(address, "", "");
    }

    std::shared_ptr<MemorySerialLinkState> line;
    std::unique_ptr<PttController> ptt;
};

TEST_F(PttControllerTest, OpeningDropsBothLinesAtOnceThenAppliesEachSettingOnItsOwn)
{
    ASSERT_TRUE(openDefaults("COM3"));
    EXPECT_EQ(line->devicePath, "/dev/ttyS2");
    EXPECT_EQ(line->lineHistory, (std::vector<Lines>{kHigh, kLow}));  // raised by the driver
    EXPECT_EQ(line->setLinesCalls, 1);
    EXPECT_EQ(std::tie(line->baudRate, line->dataBits), std::tuple(19200, 8));
    EXPECT_EQ(line->parity, Parity::None);
    EXPECT_EQ(line->stopBits, StopBits::One);

    ASSERT_TRUE(ptt->openPort("COM20", "4800", "7", "Mark", "2"));
    EXPECT_EQ(line->devicePath, "/dev/ttyS19");
    EXPECT_EQ(line->closeCount, 1);
    EXPECT_EQ(std::tie(line->baudRate, line->dataBits), std::tuple(4800, 7));
    EXPECT_EQ(line->parity, Parity::Mark);
    EXPECT_EQ(line->stopBits, StopBits::Two);

    // Nonsense and refused values leave the port as it was; the open still succeeds.
    ASSERT_TRUE(ptt->openPort("/dev/ttyUSB0", "fast", "9", "Sideways", "1.5"));
    EXPECT_EQ(line->devicePath, "/dev/ttyUSB0");
    EXPECT_EQ(std::tie(line->baudRate, line->dataBits), std::tuple(4800, 7));
    EXPECT_EQ(line->parity, Parity::None);
    EXPECT_EQ(line->stopBits, StopBits::Two);
}

TEST_F(PttControllerTest, PttKeysAndUnkeysBothLinesTogetherAndWritesNothing)
{
    ASSERT_TRUE(openDefaults());
    ptt->keyTransmitter();
    EXPECT_TRUE(ptt->isKeyed());
    ptt->unkeyTransmitter();
    EXPECT_FALSE(ptt->isKeyed());
    EXPECT_EQ(line->lineHistory, (std::vector<Lines>{kHigh, kLow, kHigh, kLow}));
    EXPECT_TRUE(line->written.empty());
}

TEST_F(PttControllerTest, CatWritesFramesAndNeverTouchesTheLines)
{
    useCat();
    ASSERT_TRUE(openDefaults());
    EXPECT_EQ(line->written, kTxOff66);  // whatever keyed the radio before is undone first
    line->written.clear();
    ptt->keyTransmitter();
    EXPECT_EQ(line->written, kTxOn66);
    ptt->unkeyTransmitter();
    ptt->shutdown();
    EXPECT_EQ(line->setLinesCalls, 1);  // only the drop after opening
    EXPECT_EQ(line->lineHistory, (std::vector<Lines>{kHigh, kLow, kLow}));  // the last is the close
    // Key, unkey, and the receive command once more on the way out.
    EXPECT_EQ(line->written.size(), 24u);
}

TEST_F(PttControllerTest, NothingIsKeyedWithoutAnOpenPort)
{
    for (const char* method : {"PTT", "CAT", "VOX"}) {
        ptt->settings().pttMethod = method;
        ptt->keyTransmitter();
        EXPECT_FALSE(ptt->isKeyed()) << method;
    }
    line->missingDevices.insert("/dev/ttyS4");
    EXPECT_FALSE(openDefaults("COM5"));
    ptt->keyTransmitter();
    ptt->settings().pttMethod = "PTT";
    ASSERT_TRUE(openDefaults());
    ptt->closePort();
    ptt->keyTransmitter();
    EXPECT_TRUE(line->written.empty());
    EXPECT_EQ(line->lineHistory, (std::vector<Lines>{kHigh, kLow, kLow}));
}

TEST_F(PttControllerTest, EveryWayOutUnkeysBeforeClosing)
{
    // Destroyed while keyed by the lines: dropped before the close, not only by its hang-up.
    ASSERT_TRUE(openDefaults());
    ptt->keyTransmitter();
    ptt.reset();
    EXPECT_FALSE(line->open);
    EXPECT_EQ(line->lineHistory, (std::vector<Lines>{kHigh, kLow, kHigh, kLow, kLow}));

    // The settings dialog opened in the middle of a CAT transmission closes the port.
    auto link = std::make_unique<MemorySerialLink>();
    const auto catLine = link->state();
    ptt = std::make_unique<PttController>(std::move(link));
    useCat();
    ASSERT_TRUE(openDefaults());
    ptt->keyTransmitter();
    ptt->closePort();
    Bytes expected = kTxOff66;
    expected.insert(expected.end(), kTxOn66.begin(), kTxOn66.end());
    expected.insert(expected.end(), kTxOff66.begin(), kTxOff66.end());
    EXPECT_EQ(catLine->written, expected);

    // Shutdown is safe to repeat and the destructor after it adds nothing.
    ASSERT_TRUE(openDefaults());
    ptt->keyTransmitter();
    ptt->shutdown();
    ptt->shutdown();
    ptt.reset();
    EXPECT_EQ(catLine->written.size(), 48u);
    EXPECT_EQ(catLine->closeCount, 2);
}

TEST_F(PttControllerTest, ALostPortStaysLostUntilItOpensAgainInReceiveOrIsGivenUp)
{
    int losses = 0;
    ptt->setLostHandler([&losses] { ++losses; });
    useCat();
    ASSERT_TRUE(openDefaults("/dev/ttyUSB0"));
    ptt->keyTransmitter();
    line->unplug();
    EXPECT_TRUE(ptt->portLost() && !ptt->isKeyed() && losses == 1);
    line->missingDevices.insert("/dev/ttyUSB0");
    EXPECT_FALSE(ptt->reopen());
    line->missingDevices.clear();
    line->written.clear();
    ASSERT_TRUE(ptt->reopen());
    EXPECT_EQ(line->written, kTxOff66);  // the radio's last wish was receive
    EXPECT_EQ(ptt->catUnkey()->baud, 19200);
    line->unplug();
    ptt->closePort();  // the settings dialog, Exit: no more tries
    EXPECT_FALSE(ptt->portLost() || ptt->reopen());
}

TEST_F(PttControllerTest, UnkeyingUndoesTheMethodThatKeyed)
{
    ASSERT_TRUE(openDefaults());
    ptt->keyTransmitter();
    ptt->settings().pttMethod = "CAT";
    ptt->unkeyTransmitter();
    EXPECT_FALSE(line->dtr || line->rts);
}

TEST_F(PttControllerTest, CommandBytesFollowUseCommandsAndCommandKind)
{
    PortSettings& s = ptt->settings();
    ptt->buildCatCommands("  ", "FEFE66E01C0001FD", "X");
    EXPECT_EQ(ptt->txCommandBytes(), (Bytes{0xFE, 0xFE, 0x00, 0xE0, 0x1C, 0x00, 0x01, 0xFD}));
    EXPECT_EQ(s.txCommandText, "FEFEnnE01C0001FD");  // not in use, not stored

    s.useCommands = 1;
    s.commandKind = "TXT";
    ptt->buildCatCommands("66", "TX;", "");
    EXPECT_EQ(ptt->txCommandBytes(), (Bytes{0x54, 0x58, 0x3B}));
    EXPECT_TRUE(ptt->rxCommandBytes().empty());
    EXPECT_EQ(s.txCommandText, "TX;");

    s.commandKind = "BIN";  // neither kind: the CI-V frames, texts left alone
    ptt->buildCatCommands("7a", "AB", "CD");
    EXPECT_EQ(ptt->txCommandBytes()[2], 0x7A);
    EXPECT_EQ(s.txCommandText, "TX;");
}

TEST(SerialTextRules, PortNamesHexadecimalAndNumbers)
{
    EXPECT_EQ(devicePathForPort("com12"), "/dev/ttyS11");
    EXPECT_EQ(devicePathForPort("COM0"), "COM0");
    EXPECT_EQ(devicePathForPort("COM1x"), "COM1x");
    EXPECT_EQ(devicePathForPort("ttyUSB0"), "ttyUSB0");
    EXPECT_EQ(readHex("5G"), 0x5u);
    EXPECT_EQ(hexPairsToBytes("nn1g"), (Bytes{0x00, 0x01}));
    EXPECT_EQ(hexPairsToBytes(" FE\tfe 7A1 "), (Bytes{0xFE, 0xFE, 0x7A, 0x01}));
    EXPECT_EQ(leadingNumber(" 19200 baud"), 19200);
    EXPECT_FALSE(leadingNumber("baud").has_value());
    EXPECT_FALSE(leadingNumber("99999999999999999999").has_value());
}

}  // namespace
}  // namespace vantrel::radio

namespace vantrel::radio {
namespace {

TEST(SerialPortDiscovery, AnAdapterIsOfferedByItsStableName)
{
    QTemporaryDir dir;
    QFile device(dir.filePath("ttyUSB3"));
    ASSERT_TRUE(device.open(QIODevice::WriteOnly));
    ASSERT_TRUE(QDir(dir.path()).mkdir("by-id"));
    const QString stable = dir.filePath("by-id/usb-FTDI_FT232R_A50285BI-if00-port0");
    ASSERT_TRUE(QFile::link(device.fileName(), stable));
    EXPECT_EQ(stableSerialPortName(device.fileName(), dir.filePath("by-id")), stable);
    EXPECT_EQ(stableSerialPortName(dir.filePath("ttyACM0"), dir.filePath("by-id")), dir.filePath("ttyACM0"));
}

}  // namespace
}  // namespace vantrel::radio
