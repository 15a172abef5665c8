// The keying bytes as they leave a real serial device: the program opens one end of a
// pseudo-terminal pair and the test listens at the other, as the radio would.
#include "pty_pair.h"
#include "radio/ptt_controller.h"
#include "radio/qt_serial_link.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

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

    bool open(const char* baud = "19200", const char* stopBits = "1")
    {
        return ptt->openPort(pty.programSide().toStdString(), baud, "8", "None", stopBits);
    }

    void useCommands(const char* kind, const char* tx, const char* rx)
    {
        PortSettings& s = ptt->settings();
        s.pttMethod = "CAT";
        s.useCommands = 1;
        s.commandKind = kind;
        ptt->buildCatCommands("66", tx, rx);
    }

    // Keys and unkeys once; what the radio heard each time, and nothing more.
    void expectKeying(const Bytes& tx, const Bytes& rx)
    {
        ptt->keyTransmitter();
        EXPECT_EQ(pty.read(tx.size()), tx);
        ptt->unkeyTransmitter();
        EXPECT_EQ(pty.read(rx.size()), rx);
        EXPECT_TRUE(pty.drain().empty()) << "stray bytes after the commands";
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
    ASSERT_TRUE(open());
    termios t = lineFormat();
    EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B19200));
    EXPECT_EQ(::cfgetispeed(&t), static_cast<speed_t>(B19200));
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_FALSE(t.c_cflag & (PARENB | CSTOPB | CRTSCTS));
    EXPECT_FALSE(t.c_iflag & (IXON | IXOFF));

    // A pseudo-terminal always keeps eight data bits and no parity; rate and stop bits show
    // that a second opening takes new settings.
    ASSERT_TRUE(open("4800", "2"));
    t = lineFormat();
    EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B4800));
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    EXPECT_TRUE(open("19200", "1.5")) << "a refused setting must not fail the open";
}

TEST_F(SerialPtyTest, CivFramesCarryTheRadioAddress)
{
    ptt->settings().pttMethod = "CAT";
    ASSERT_TRUE(open());
    const std::pair<const char*, std::uint8_t> addresses[] = {
        {"66", 0x66}, {"7A", 0x7A}, {"5e", 0x5E}, {"  ", 0x00}, {"6", 0x06}, {"FF", 0xFF}};
    for (const auto& [text, address] : addresses) {
        SCOPED_TRACE(text);
        ptt->buildCatCommands(text, "", "");
        expectKeying({0xFE, 0xFE, address, 0xE0, 0x1C, 0x00, 0x01, 0xFD},
                     {0xFE, 0xFE, address, 0xE0, 0x1C, 0x00, 0x00, 0xFD});
    }
}

TEST_F(SerialPtyTest, HexCommandsAreSentPairByPair)
{
    ASSERT_TRUE(open());
    useCommands("HEX", "FEFEnnE01C0001FD", "FEFEnnE01C0000FD");
    expectKeying({0xFE, 0xFE, 0x00, 0xE0, 0x1C, 0x00, 0x01, 0xFD},
                 {0xFE, 0xFE, 0x00, 0xE0, 0x1C, 0x00, 0x00, 0xFD});
    useCommands("HEX", "FEFE66E01C0001FD", "fefe66e01c0000fd");
    expectKeying({0xFE, 0xFE, 0x66, 0xE0, 0x1C, 0x00, 0x01, 0xFD},
                 {0xFE, 0xFE, 0x66, 0xE0, 0x1C, 0x00, 0x00, 0xFD});
    useCommands("HEX", "FE1", "0");
    expectKeying({0xFE, 0x01}, {0x00});
    // Typed with blanks between the pairs, as the frames are usually written down.
    useCommands("HEX", "FE FE 66 E0 1C 00 01 FD", " FE FE 66 E0 1C 00 00 FD ");
    expectKeying({0xFE, 0xFE, 0x66, 0xE0, 0x1C, 0x00, 0x01, 0xFD},
                 {0xFE, 0xFE, 0x66, 0xE0, 0x1C, 0x00, 0x00, 0xFD});
}

TEST_F(SerialPtyTest, ThePortDropsItsLinesWhenTheProgramDies)
{
    // A port whose hang-up-on-close flag is off (stty -hupcl) would keep DTR and RTS raised
    // after a crash while keyed; opening it turns the flag on, and the line settings keep it.
    {
        const int fd = ::open(pty.programSide().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
        ASSERT_GE(fd, 0);
        termios t{};
        ASSERT_EQ(::tcgetattr(fd, &t), 0);
        t.c_cflag &= ~static_cast<tcflag_t>(HUPCL);
        ASSERT_EQ(::tcsetattr(fd, TCSANOW, &t), 0);
        ::close(fd);
    }
    ASSERT_TRUE(open("4800", "2"));
    const termios t = lineFormat();
    EXPECT_TRUE(t.c_cflag & HUPCL);
    EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B4800));
}

TEST_F(SerialPtyTest, TextCommandsAreSentAsTypedWithNoLineEnd)
{
    ASSERT_TRUE(open());
    useCommands("TXT", "TX;", "RX;");
    expectKeying({0x54, 0x58, 0x3B}, {0x52, 0x58, 0x3B});
}

TEST_F(SerialPtyTest, LineKeyingWritesNoBytesAndAMissingDeviceDoesNotOpen)
{
    ASSERT_TRUE(open());
    expectKeying({}, {});
    EXPECT_FALSE(ptt->openPort(pty.programSide().toStdString() + "-absent", "19200", "8", "None", "1"));
    EXPECT_FALSE(ptt->isPortOpen());
}

TEST_F(SerialPtyTest, TheReceiveCommandLeavesFirstAndBeforeThePortClosesAtExit)
{
    ptt->settings().pttMethod = "CAT";
    ptt->buildCatCommands("70", "", "");
    ASSERT_TRUE(open());
    ptt->keyTransmitter();
    ptt.reset();
    EXPECT_EQ(pty.read(24), (Bytes{0xFE, 0xFE, 0x70, 0xE0, 0x1C, 0x00, 0x00, 0xFD,
                                   0xFE, 0xFE, 0x70, 0xE0, 0x1C, 0x00, 0x01, 0xFD,
                                   0xFE, 0xFE, 0x70, 0xE0, 0x1C, 0x00, 0x00, 0xFD}));
}

}  // namespace
}  // namespace vantrel::radio

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
