// Keying logic against the in-memory port: line states, command bytes and the text rules.
#include "radio/memory_serial_link.h"
#include "radio/ptt_controller.h"
#include "radio/serial_lists.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace vantrel::radio {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Lines = MemorySerialLinkState::Lines;

constexpr Lines kLow{false, false};
constexpr Lines kHigh{true, true};

class PttControllerTest : public ::testing::Test {
protected:
    PttControllerTest()
    {
        auto link = std::make_unique<MemorySerialLink>();
        line = link->state();
        ptt = std::make_unique<PttController>(std::move(link));
    }

    bool openDefaults(const char* port = "COM1")
    {
        return ptt->openPort(port, "19200", "8", "None", "1");
    }

    std::shared_ptr<MemorySerialLinkState> line;
    std::unique_ptr<PttController> ptt;
};

TEST_F(PttControllerTest, OpeningDropsBothLinesAtOnceAndAppliesTheLineFormat)
{
    ASSERT_TRUE(openDefaults("COM3"));
    EXPECT_EQ(line->devicePath, "/dev/ttyS2");
    // The driver raises both on open; one call takes both down again.
    EXPECT_EQ(line->lineHistory, (std::vector<Lines>{kHigh, kLow}));
    EXPECT_EQ(line->setLinesCalls, 1);
    EXPECT_EQ(line->baudRate, 19200);
    EXPECT_EQ(line->dataBits, 8);
    EXPECT_EQ(line->parity, Parity::None);
    EXPECT_EQ(line->stopBits, StopBits::One);

    ASSERT_TRUE(ptt->openPort("COM20", "4800", "7", "Mark", "2"));
    EXPECT_EQ(line->devicePath, "/dev/ttyS19");
    EXPECT_EQ(line->openCount, 2);
    EXPECT_EQ(line->closeCount, 1);
    EXPECT_EQ(line->baudRate, 4800);
    EXPECT_EQ(line->dataBits, 7);
    EXPECT_EQ(line->parity, Parity::Mark);
    EXPECT_EQ(line->stopBits, StopBits::Two);
}

TEST_F(PttControllerTest, RefusedOrNonsenseSettingsLeaveThePortAsItWasAndStillOpen)
{
    ASSERT_TRUE(ptt->openPort("/dev/ttyUSB0", "fast", "9", "Sideways", "1.5"));
    EXPECT_EQ(line->devicePath, "/dev/ttyUSB0");
    EXPECT_EQ(line->baudRate, 9600);
    EXPECT_EQ(line->dataBits, 8);
    EXPECT_EQ(line->parity, Parity::None);
    EXPECT_EQ(line->stopBits, StopBits::One);
    EXPECT_TRUE(ptt->isPortOpen());

    ASSERT_TRUE(ptt->openPort("", "", "", "", ""));
    EXPECT_TRUE(ptt->isPortOpen());
}

TEST_F(PttControllerTest, PortNamesMapComToTtySAndPassEverythingElseThrough)
{
    EXPECT_EQ(devicePathForPort("COM1"), "/dev/ttyS0");
    EXPECT_EQ(devicePathForPort("com12"), "/dev/ttyS11");
    EXPECT_EQ(devicePathForPort("COM0"), "COM0");
    EXPECT_EQ(devicePathForPort("COM"), "COM");
    EXPECT_EQ(devicePathForPort("COM1x"), "COM1x");
    EXPECT_EQ(devicePathForPort("ttyUSB0"), "ttyUSB0");
    EXPECT_EQ(devicePathForPort("/dev/serial/by-id/usb-FTDI-if00"), "/dev/serial/by-id/usb-FTDI-if00");
    EXPECT_EQ(fixedPortNames().size(), 20u);
    EXPECT_EQ(fixedPortNames().back(), "COM20");
}

TEST_F(PttControllerTest, PttKeysAndUnkeysBothLinesTogether)
{
    ASSERT_TRUE(openDefaults());
    ptt->keyTransmitter();
    EXPECT_TRUE(line->dtr && line->rts);
    EXPECT_TRUE(ptt->isKeyed());
    ptt->unkeyTransmitter();
    EXPECT_FALSE(line->dtr || line->rts);
    EXPECT_FALSE(ptt->isKeyed());
    EXPECT_EQ(line->lineHistory, (std::vector<Lines>{kHigh, kLow, kHigh, kLow}));
    EXPECT_TRUE(line->written.empty());
}

TEST_F(PttControllerTest, CatWritesFramesAndNeverTouchesTheLines)
{
    ptt->settings().pttMethod = "CAT";
    ptt->buildCatCommands("66", "", "");
    ASSERT_TRUE(openDefaults());
    const int callsAfterOpen = line->setLinesCalls;
    ptt->keyTransmitter();
    EXPECT_EQ(line->written, (Bytes{0xFE, 0xFE, 0x66, 0xE0, 0x1C, 0x00, 0x01, 0xFD}));
    ptt->unkeyTransmitter();
    ptt->shutdown();
    EXPECT_EQ(line->setLinesCalls, callsAfterOpen);
    EXPECT_EQ(line->lineHistory, (std::vector<Lines>{kHigh, kLow, kLow}));  // the last is the close
    // Key, unkey, and the receive command again on the way out.
    EXPECT_EQ(line->written.size(), 24u);
}

TEST_F(PttControllerTest, NothingIsKeyedWithoutAnOpenPort)
{
    for (const char* method : {"PTT", "CAT"}) {
        SCOPED_TRACE(method);
        ptt->settings().pttMethod = method;
        ptt->keyTransmitter();
        ptt->unkeyTransmitter();
        EXPECT_FALSE(ptt->isKeyed());
    }
    line->missingDevices.insert("/dev/ttyS4");
    EXPECT_FALSE(openDefaults("COM5"));
    ptt->keyTransmitter();
    ASSERT_TRUE(openDefaults());
    ptt->closePort();
    ptt->keyTransmitter();
    EXPECT_FALSE(ptt->isKeyed());
    EXPECT_TRUE(line->written.empty());
    EXPECT_EQ(line->lineHistory, (std::vector<Lines>{kHigh, kLow, kLow}));
}

TEST_F(PttControllerTest, AnUnknownMethodKeysNothing)
{
    ptt->settings().pttMethod = "VOX";
    ASSERT_TRUE(openDefaults());
    ptt->keyTransmitter();
    EXPECT_FALSE(ptt->isKeyed());
    EXPECT_FALSE(line->dtr || line->rts);
    EXPECT_TRUE(line->written.empty());
}

TEST_F(PttControllerTest, DestroyingAKeyedControllerLeavesTheLinesLowAndThePortClosed)
{
    ASSERT_TRUE(openDefaults());
    ptt->keyTransmitter();
    ptt.reset();
    EXPECT_FALSE(line->dtr || line->rts);
    EXPECT_FALSE(line->open);
    // Dropped before the close, not merely by the hang-up of closing.
    ASSERT_GE(line->lineHistory.size(), 2u);
    EXPECT_EQ(line->lineHistory[line->lineHistory.size() - 2], kLow);
}

TEST_F(PttControllerTest, ShutdownWritesTheReceiveCommandOnceAndIsIdempotent)
{
    ptt->settings().pttMethod = "CAT";
    ptt->buildCatCommands("7A", "", "");
    ASSERT_TRUE(openDefaults());
    ptt->keyTransmitter();
    ptt->shutdown();
    ptt->shutdown();
    ptt.reset();
    EXPECT_EQ(line->written, (Bytes{0xFE, 0xFE, 0x7A, 0xE0, 0x1C, 0x00, 0x01, 0xFD,
                                    0xFE, 0xFE, 0x7A, 0xE0, 0x1C, 0x00, 0x00, 0xFD}));
    EXPECT_EQ(line->closeCount, 1);
}

TEST_F(PttControllerTest, ClosingThePortWhileKeyedUnkeysFirst)
{
    // The settings dialog may be opened in the middle of a transmission.
    ptt->settings().pttMethod = "CAT";
    ptt->buildCatCommands("66", "", "");
    ASSERT_TRUE(openDefaults());
    ptt->keyTransmitter();
    ptt->closePort();
    EXPECT_EQ(line->written.size(), 16u);
    EXPECT_EQ(line->written.back(), 0xFD);
    EXPECT_EQ(line->written[14], 0x00);
    EXPECT_FALSE(ptt->isKeyed());

    // Not keyed: closing sends nothing.
    ASSERT_TRUE(openDefaults());
    ptt->closePort();
    EXPECT_EQ(line->written.size(), 16u);
}

TEST_F(PttControllerTest, ChangingTheMethodWhileKeyedStillUndoesTheKeying)
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
    EXPECT_EQ(ptt->rxCommandBytes(), (Bytes{0xFE, 0xFE, 0x00, 0xE0, 0x1C, 0x00, 0x00, 0xFD}));
    EXPECT_EQ(s.txCommandText, "FEFEnnE01C0001FD");  // not in use, not stored

    s.useCommands = 1;
    s.commandKind = "HEX";
    ptt->buildCatCommands("66", "FEFEnnE01C0001FD", "FE1");
    EXPECT_EQ(ptt->txCommandBytes(), (Bytes{0xFE, 0xFE, 0x00, 0xE0, 0x1C, 0x00, 0x01, 0xFD}));
    EXPECT_EQ(ptt->rxCommandBytes(), (Bytes{0xFE, 0x01}));
    EXPECT_EQ(s.rxCommandText, "FE1");

    s.commandKind = "TXT";
    ptt->buildCatCommands("66", "TX;", "");
    EXPECT_EQ(ptt->txCommandBytes(), (Bytes{0x54, 0x58, 0x3B}));
    EXPECT_TRUE(ptt->rxCommandBytes().empty());
    EXPECT_EQ(s.txCommandText, "TX;");

    s.commandKind = "BIN";
    ptt->buildCatCommands("70", "TX;", "RX;");
    EXPECT_EQ(ptt->txCommandBytes()[2], 0x70);
    EXPECT_EQ(s.rxCommandText, "");
}

TEST(SerialTextRules, HexadecimalIsReadFromTheLeftUntilTheFirstOtherCharacter)
{
    EXPECT_EQ(readHex("66"), 0x66u);
    EXPECT_EQ(readHex("7a"), 0x7Au);
    EXPECT_EQ(readHex("  "), 0u);
    EXPECT_EQ(readHex("5G"), 0x5u);
    EXPECT_EQ(readHex("G5"), 0u);
    EXPECT_EQ(readHex("123", 2), 0x12u);
    EXPECT_EQ(hexPairsToBytes("nn1g"), (Bytes{0x00, 0x01}));
    EXPECT_EQ(hexPairsToBytes("0a0B"), (Bytes{0x0A, 0x0B}));
    EXPECT_TRUE(hexPairsToBytes("").empty());
    EXPECT_EQ(leadingNumber(" 19200 baud"), 19200);
    EXPECT_FALSE(leadingNumber("baud").has_value());
    EXPECT_FALSE(leadingNumber("99999999999999999999").has_value());
    EXPECT_EQ(listPosition(kBaudRates, "19200"), 7);
    EXPECT_EQ(listPosition(kParities, "none"), 0);
    EXPECT_EQ(listEntry(kStopBits, 3), "2");
    EXPECT_EQ(listEntry(kStopBits, 4), "");
}

}  // namespace
}  // namespace vantrel::radio
