// The keying bytes as they leave a real serial device: the program opens one end of a
// pseudo-terminal pair and the test listens at the other, as the radio would.
#include "pty_pair.h"
#include "radio/ptt_controller.h"
#include "radio/qt_serial_link.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <termios.h>

namespace vantrel::radio {
namespace {

using Bytes = std::vector<std::uint8_t>;

class SerialPtyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pty.ready()) << "socat pseudo-terminal pair did not start";
        auto owned = std::make_unique<QtSerialLink>();
        link = owned.get();
        ptt = std::make_unique<PttController>(std::move(owned));
    }

    bool openDefaults()
    {
        return ptt->openPort(pty.programSide().toStdString(), "19200", "8", "None", "1");
    }

    // Keys and unkeys once, returning what the radio heard each time.
    std::pair<Bytes, Bytes> keyAndUnkey(std::size_t txLength, std::size_t rxLength)
    {
        ptt->keyTransmitter();
        Bytes tx = pty.read(txLength);
        ptt->unkeyTransmitter();
        Bytes rx = pty.read(rxLength);
        EXPECT_TRUE(pty.drain().empty()) << "stray bytes after the commands";
        return {tx, rx};
    }

    termios lineFormat() const
    {
        termios t{};
        EXPECT_EQ(::tcgetattr(link->nativeHandle(), &t), 0);
        return t;
    }

    testsupport::PtyPair pty;
    QtSerialLink* link = nullptr;
    std::unique_ptr<PttController> ptt;
};

TEST_F(SerialPtyTest, DefaultsOpenThePortAt19200EightNoneOne)
{
    ASSERT_TRUE(openDefaults());
    const termios t = lineFormat();
    EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B19200));
    EXPECT_EQ(::cfgetispeed(&t), static_cast<speed_t>(B19200));
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_FALSE(t.c_cflag & PARENB);
    EXPECT_FALSE(t.c_cflag & CSTOPB);
    EXPECT_FALSE(t.c_cflag & CRTSCTS);
    EXPECT_FALSE(t.c_iflag & (IXON | IXOFF));

    // A pseudo-terminal always keeps eight data bits and no parity, so only rate and stop bits
    // can show here that a second opening takes new settings.
    ASSERT_TRUE(ptt->openPort(pty.programSide().toStdString(), "4800", "8", "None", "2"));
    const termios other = lineFormat();
    EXPECT_EQ(::cfgetospeed(&other), static_cast<speed_t>(B4800));
    EXPECT_TRUE(other.c_cflag & CSTOPB);

    // One and a half stop bits do not exist here: refused, yet the port opens.
    EXPECT_TRUE(ptt->openPort(pty.programSide().toStdString(), "19200", "8", "None", "1.5"));
    EXPECT_TRUE(ptt->isPortOpen());
}

TEST_F(SerialPtyTest, CivFramesCarryTheRadioAddress)
{
    ptt->settings().pttMethod = "CAT";
    ASSERT_TRUE(openDefaults());
    const std::pair<const char*, std::uint8_t> addresses[] = {
        {"66", 0x66}, {"7A", 0x7A}, {"5e", 0x5E}, {"  ", 0x00}, {"6", 0x06}, {"FF", 0xFF}};
    for (const auto& [text, address] : addresses) {
        SCOPED_TRACE(text);
        ptt->buildCatCommands(text, "", "");
        const auto [tx, rx] = keyAndUnkey(8, 8);
        EXPECT_EQ(tx, (Bytes{0xFE, 0xFE, address, 0xE0, 0x1C, 0x00, 0x01, 0xFD}));
        EXPECT_EQ(rx, (Bytes{0xFE, 0xFE, address, 0xE0, 0x1C, 0x00, 0x00, 0xFD}));
    }
}

TEST_F(SerialPtyTest, HexCommandsAreSentPairByPair)
{
    PortSettings& s = ptt->settings();
    s.pttMethod = "CAT";
    s.useCommands = 1;
    s.commandKind = "HEX";
    ASSERT_TRUE(openDefaults());

    ptt->buildCatCommands("66", "FEFEnnE01C0001FD", "FEFEnnE01C0000FD");
    auto [tx, rx] = keyAndUnkey(8, 8);
    EXPECT_EQ(tx, (Bytes{0xFE, 0xFE, 0x00, 0xE0, 0x1C, 0x00, 0x01, 0xFD}));
    EXPECT_EQ(rx, (Bytes{0xFE, 0xFE, 0x00, 0xE0, 0x1C, 0x00, 0x00, 0xFD}));

    ptt->buildCatCommands("66", "FEFE66E01C0001FD", "fefe66e01c0000fd");
    std::tie(tx, rx) = keyAndUnkey(8, 8);
    EXPECT_EQ(tx, (Bytes{0xFE, 0xFE, 0x66, 0xE0, 0x1C, 0x00, 0x01, 0xFD}));
    EXPECT_EQ(rx, (Bytes{0xFE, 0xFE, 0x66, 0xE0, 0x1C, 0x00, 0x00, 0xFD}));

    ptt->buildCatCommands("66", "FE1", "0");
    std::tie(tx, rx) = keyAndUnkey(2, 1);
    EXPECT_EQ(tx, (Bytes{0xFE, 0x01}));
    EXPECT_EQ(rx, (Bytes{0x00}));
}

TEST_F(SerialPtyTest, TextCommandsAreSentAsTypedWithNoLineEnd)
{
    PortSettings& s = ptt->settings();
    s.pttMethod = "CAT";
    s.useCommands = 1;
    s.commandKind = "TXT";
    ASSERT_TRUE(openDefaults());
    ptt->buildCatCommands("66", "TX;", "RX;");
    const auto [tx, rx] = keyAndUnkey(3, 3);
    EXPECT_EQ(tx, (Bytes{0x54, 0x58, 0x3B}));
    EXPECT_EQ(rx, (Bytes{0x52, 0x58, 0x3B}));
}

TEST_F(SerialPtyTest, LineKeyingWritesNoBytesAndAMissingDeviceDoesNotOpen)
{
    ASSERT_TRUE(openDefaults());
    ptt->keyTransmitter();
    ptt->unkeyTransmitter();
    EXPECT_TRUE(pty.drain().empty());

    ptt->closePort();
    EXPECT_FALSE(ptt->openPort(pty.programSide().toStdString() + "-absent", "19200", "8", "None", "1"));
    EXPECT_FALSE(ptt->isPortOpen());
}

TEST_F(SerialPtyTest, ShutdownSendsTheReceiveCommandBeforeClosing)
{
    ptt->settings().pttMethod = "CAT";
    ptt->buildCatCommands("70", "", "");
    ASSERT_TRUE(openDefaults());
    ptt->keyTransmitter();
    EXPECT_EQ(pty.read(8).size(), 8u);
    ptt.reset();
    EXPECT_EQ(pty.read(8), (Bytes{0xFE, 0xFE, 0x70, 0xE0, 0x1C, 0x00, 0x00, 0xFD}));
}

}  // namespace
}  // namespace vantrel::radio

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
