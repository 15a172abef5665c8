#include "app/settings.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <sys/resource.h>

namespace fs = std::filesystem;
using vantrel::app::AppSettings;
using vantrel::app::formatSettings;
using vantrel::app::loadSettings;
using vantrel::app::parseSettings;
using vantrel::app::saveSettings;

namespace {

// The file as written after a run with the defaults in an 800 x 600 client area.
const std::string kClassicExample =
    "\"nocall\"\r\n15\r\n122\r\n1\r\n\"PTT\"\r\n\"  \"\r\n7\r\n4\r\n3\r\n1\r\n1\r\n"
    "\"FEFEnnE01C0001FD\"\r\n\"FEFEnnE01C0000FD\"\r\n0\r\n\"HEX\"\r\n-1\r\n-1\r\n600,800\r\n";
const std::string kOurLines = "1\r\n\"\"\r\n0\r\n1\r\n\"\"\r\n0\r\n1\r\n";

std::string withLine(int line, const std::string& value) {
    std::istringstream in(kClassicExample);
    std::string out, current;
    for (int n = 1; std::getline(in, current); ++n) out += (n == line ? value + "\r" : current) + "\n";
    return out;
}

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class SettingsDir : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("vantrel-settings-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    int entries() const { return static_cast<int>(std::distance(fs::directory_iterator(dir_), {})); }
    fs::path dir_;
};

}  // namespace

TEST(SettingsFormat, NoFileGivesTheDefaultsWhichWriteTheClassicExample) {
    AppSettings s = parseSettings("");
    EXPECT_EQ(s, AppSettings{});
    EXPECT_EQ(s.lastClientWidth, 100);
    s.lastClientHeight = 600;
    s.lastClientWidth = 800;
    EXPECT_EQ(formatSettings(s), kClassicExample + kOurLines);
}

TEST(SettingsFormat, ClassicFileRoundTripsByteForByteWithOurTwoLinesAfterIt) {
    const AppSettings s = parseSettings(kClassicExample);
    EXPECT_EQ(s.lastClientHeight, 600);
    EXPECT_EQ(s.lastClientWidth, 800);
    EXPECT_EQ(s.sensitiveReceive, 1);
    EXPECT_EQ(s.portDevice, "");
    const std::string written = formatSettings(s);
    EXPECT_EQ(written.substr(0, kClassicExample.size()), kClassicExample);
    EXPECT_EQ(parseSettings(written), s);
}

TEST(SettingsFormat, OurLinesRoundTripAndAnEighteenLineReaderStillFindsItsFields) {
    AppSettings s;
    s.callsign = "DL1ABC";
    s.sensitiveReceive = 1;
    s.portDevice = "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0";
    s.lastClientHeight = 480;
    s.lastClientWidth = 640;
    const std::string text = formatSettings(s);
    EXPECT_EQ(parseSettings(text), s);
    // The classic reader stops after line 18: our lines come after everything it reads.
    const std::size_t line18 = text.find("480,640\r\n");
    ASSERT_NE(line18, std::string::npos);
    EXPECT_EQ(text.substr(line18 + 9),
              "1\r\n\"/dev/serial/by-id/usb-FTDI_FT232R-if00-port0\"\r\n0\r\n1\r\n\"\"\r\n0\r\n1\r\n");
}

TEST(SettingsFormat, HamlibLinesFollowTheFirstTwentyAndAreOffWithoutThem) {
    const std::string twenty = kClassicExample + "1\r\n\"/dev/ttyUSB0\"\r\n";
    const AppSettings old = parseSettings(twenty);
    EXPECT_EQ(old.rigEnabled, 0);
    EXPECT_EQ(old.rigKeyThrough, 1);
    EXPECT_EQ(old.portDevice, "/dev/ttyUSB0");

    AppSettings s = old;
    s.rigEnabled = 1;
    s.rigModel = 2;
    s.rigPort = "localhost:4532";
    s.rigSerialSpeed = 38400;
    s.rigKeyThrough = 0;
    const std::string text = formatSettings(s);
    EXPECT_EQ(text, twenty + "1\r\n2\r\n\"localhost:4532\"\r\n38400\r\n0\r\n");
    EXPECT_EQ(parseSettings(text), s);

    const AppSettings odd = parseSettings(twenty + "7\r\n-4\r\n\"x\"\r\n-9600\r\n5\r\n");
    EXPECT_EQ(odd.rigEnabled, 0);
    EXPECT_EQ(odd.rigModel, 1);
    EXPECT_EQ(odd.rigSerialSpeed, 0);
    EXPECT_EQ(odd.rigKeyThrough, 1);
}

TEST(SettingsFormat, LimitsApplyFieldByField) {
    EXPECT_EQ(parseSettings(withLine(2, "0")).squelchLevel, 15);
    EXPECT_EQ(parseSettings(withLine(2, "90")).squelchLevel, 90);
    EXPECT_EQ(parseSettings(withLine(3, "6")).captureTop, 122);
    EXPECT_EQ(parseSettings(withLine(3, "7")).captureTop, 7);
    EXPECT_EQ(parseSettings(withLine(4, "-3")).portIndex, 1);
    EXPECT_EQ(parseSettings(withLine(7, "-2")).baudIndex, -2);  // only exactly 0 is replaced
    EXPECT_EQ(parseSettings(withLine(7, "0")).baudIndex, 7);
    EXPECT_EQ(parseSettings(withLine(8, "99")).dataBitsIndex, 99);
    EXPECT_EQ(parseSettings(withLine(14, "2")).useCommands, 0);
    EXPECT_EQ(parseSettings(withLine(14, "1")).useCommands, 1);
    EXPECT_EQ(parseSettings(withLine(16, "-5")).inputDevice, -1);
    EXPECT_EQ(parseSettings(withLine(16, "3")).inputDevice, 3);
    EXPECT_EQ(parseSettings(withLine(16, "0")).inputDevice, 0);  // device 0 is a real device
}

// Sensitive receive is on unless the operator chose the standard receiver with a 0 on line 19.
TEST(SettingsFormat, SensitiveReceiveIsOffOnlyWhenLineNineteenSaysSo) {
    EXPECT_EQ(parseSettings("").sensitiveReceive, 1);
    EXPECT_EQ(parseSettings(kClassicExample).sensitiveReceive, 1);
    EXPECT_EQ(parseSettings(kClassicExample + "0\r\n").sensitiveReceive, 0);
    EXPECT_EQ(parseSettings(kClassicExample + "1\r\n").sensitiveReceive, 1);
    for (const char* unreadable : {"", "x", "\"on\"", "7", "-1", "\x1a"})
        EXPECT_EQ(parseSettings(kClassicExample + unreadable + "\r\n\"/dev/ttyUSB0\"\r\n").sensitiveReceive, 1)
            << unreadable;
    // Choosing the standard receiver survives a save and a start.
    AppSettings standard;
    standard.sensitiveReceive = 0;
    EXPECT_EQ(parseSettings(formatSettings(standard)).sensitiveReceive, 0);
}

TEST(SettingsFormat, MinimisedSizeIsWrittenAsIsAndReadBackAsOneHundred) {
    AppSettings s;
    s.lastClientHeight = 0;
    s.lastClientWidth = 0;
    const std::string text = formatSettings(s);
    EXPECT_NE(text.find("\r\n0,0\r\n"), std::string::npos);
    const AppSettings back = parseSettings(text);
    EXPECT_EQ(back.lastClientHeight, 100);
    EXPECT_EQ(back.lastClientWidth, 100);
}

TEST(SettingsFormat, FieldsAreReadAsTheSequentialReaderDoes) {
    AppSettings s;
    s.callsign = "DL1ABC/P, portable";
    EXPECT_EQ(parseSettings(formatSettings(s)).callsign, "DL1ABC/P, portable");  // comma inside quotes
    EXPECT_EQ(parseSettings(withLine(1, "  \" N0CALL \"  ")).callsign, " N0CALL ");
    EXPECT_EQ(parseSettings(withLine(2, "  42  ")).squelchLevel, 42);
    EXPECT_EQ(parseSettings(withLine(2, "12abc")).squelchLevel, 12);
    EXPECT_EQ(parseSettings(withLine(2, "abc")).squelchLevel, 15);
    EXPECT_EQ(parseSettings(withLine(2, "20.5")).squelchLevel, 20);   // half to even
    EXPECT_EQ(parseSettings(withLine(2, "99999999999")).squelchLevel, INT_MAX);
    EXPECT_EQ(parseSettings(withLine(5, "CAT")).pttMethod, "CAT");     // unquoted text
    // LF-only line ends and a code-26 end of data.
    std::string unixStyle = kClassicExample;
    std::erase(unixStyle, '\r');
    EXPECT_EQ(parseSettings(unixStyle), parseSettings(kClassicExample));
    const AppSettings cut = parseSettings("\"G4XYZ\"\r\n30\r\n\x1a" "100\r\n");
    EXPECT_EQ(cut.callsign, "G4XYZ");
    EXPECT_EQ(cut.squelchLevel, 30);
    EXPECT_EQ(cut.captureTop, 122);
    // A UTF-8 byte-order mark from an editor would otherwise go on the air with the call sign.
    const std::string bom = "\xEF\xBB\xBF";
    EXPECT_EQ(parseSettings(bom + withLine(1, "\"G4XYZ\"")), parseSettings(withLine(1, "\"G4XYZ\"")));
    EXPECT_EQ(parseSettings(bom + "G4XYZ\r\n").callsign, "G4XYZ");
    EXPECT_EQ(parseSettings(bom).callsign, "nocall");
    EXPECT_EQ(parseSettings("x" + bom).callsign, "x" + bom);  // only at the very start
}

TEST(SettingsFormat, ShortTruncatedAndBinaryFilesGiveDefaultsAndNeverCrash) {
    const AppSettings shortFile = parseSettings("\"G4XYZ\"\r\n40\r\n");
    EXPECT_EQ(shortFile.callsign, "G4XYZ");
    EXPECT_EQ(shortFile.squelchLevel, 40);
    EXPECT_EQ(shortFile.inputDevice, -1);  // missing device lines: the system default
    EXPECT_EQ(shortFile.pttMethod, "PTT");

    const AppSettings openQuote = parseSettings("\"G4XY");
    EXPECT_EQ(openQuote.callsign, "G4XY");
    EXPECT_EQ(openQuote.squelchLevel, 15);

    for (std::size_t cut = 0; cut <= kClassicExample.size(); ++cut) {
        const AppSettings s = parseSettings(std::string_view(kClassicExample).substr(0, cut));
        EXPECT_GE(s.squelchLevel, 1);
        EXPECT_FALSE(s.callsign.empty());
    }

    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        std::string junk(static_cast<std::size_t>(random() % 600), '\0');
        for (char& c : junk) c = static_cast<char>(random());
        const AppSettings s = parseSettings(junk);
        EXPECT_GE(s.squelchLevel, 1);
        EXPECT_GE(s.captureTop, 7);
        EXPECT_GE(s.inputDevice, -1);
        EXPECT_GE(s.lastClientWidth, 100);
        EXPECT_TRUE(s.sensitiveReceive == 0 || s.sensitiveReceive == 1);
    }
}

TEST(SettingsFormat, TextTheFormatCannotCarryIsDroppedSoTheFileStaysReadable) {
    AppSettings s;
    s.callsign = "DL\"1ABC";
    s.rigPort = "local\"host:4532";
    s.txCommandText = "FE\r\nFE\x1a";
    s.portDevice = "/dev/tty\"USB0";
    const std::string text = formatSettings(s);
    EXPECT_EQ(std::count(text.begin(), text.end(), '"'), 2 * 8);  // eight text fields, quotes only around them
    const AppSettings back = parseSettings(text);
    EXPECT_EQ(back.callsign, "DL1ABC");
    EXPECT_EQ(back.txCommandText, "FEFE");
    EXPECT_EQ(back.portDevice, "/dev/ttyUSB0");
    EXPECT_EQ(back.rigPort, "localhost:4532");
    EXPECT_EQ(back.rigKeyThrough, 1);
    EXPECT_EQ(back.squelchLevel, s.squelchLevel);  // every later field still in its place
    EXPECT_EQ(back.lastClientWidth, s.lastClientWidth);
    // An unquoted field holding quotes, as another program may write it: read without them, so
    // the record written back reads as itself.
    const AppSettings unquoted = parseSettings(withLine(1, "K1\"ABC\""));
    EXPECT_EQ(unquoted.callsign, "K1ABC");
    EXPECT_EQ(parseSettings(formatSettings(unquoted)), unquoted);
    EXPECT_FALSE(vantrel::app::fitsSettingsText("a\"b"));
    EXPECT_TRUE(vantrel::app::fitsSettingsText("DL1ABC, portable"));
}

TEST_F(SettingsDir, MissingOrUnreadableFileLoadsDefaults) {
    EXPECT_EQ(loadSettings(dir_ / "Settings.ini"), AppSettings{});
    EXPECT_EQ(loadSettings(dir_), AppSettings{});  // a directory where the file should be
}

TEST_F(SettingsDir, SaveWritesTheFileAndReplacesAnOlderOneWhole) {
    const fs::path file = dir_ / "Settings.ini";
    std::ofstream(file, std::ios::binary) << std::string(5000, 'x');
    AppSettings s;
    s.callsign = "G4XYZ";
    ASSERT_TRUE(saveSettings(s, file));
    EXPECT_EQ(readAll(file), formatSettings(s));
    EXPECT_EQ(loadSettings(file), s);
    EXPECT_EQ(entries(), 1);  // no temporary left beside it

    // Kept elsewhere through a link: the real file is replaced, the link stays a link.
    fs::create_directory(dir_ / "real");
    fs::rename(file, dir_ / "real" / "Settings.ini");
    fs::create_symlink(dir_ / "real" / "Settings.ini", file);
    s.callsign = "K1ABC";
    ASSERT_TRUE(saveSettings(s, file));
    EXPECT_TRUE(fs::is_symlink(file));
    EXPECT_EQ(loadSettings(dir_ / "real" / "Settings.ini").callsign, "K1ABC");
}

TEST_F(SettingsDir, SaveKeepsTheFilesPermissionsAndLeavesAReadOnlyFileAlone) {
    const fs::path file = dir_ / "Settings.ini";
    const auto mode = [&file] { return fs::status(file).permissions() & fs::perms::mask; };
    AppSettings s;
    ASSERT_TRUE(saveSettings(s, file));
    EXPECT_EQ(mode(), fs::perms(0644));  // a new file
    for (const auto kept : {fs::perms(0600), fs::perms(0660)}) {
        fs::permissions(file, kept);
        s.squelchLevel += 1;
        ASSERT_TRUE(saveSettings(s, file));
        EXPECT_EQ(mode(), kept);
        EXPECT_EQ(loadSettings(file).squelchLevel, s.squelchLevel);
    }

    // Made read-only by its owner: not replaced (not even by root), and the reason is given.
    fs::permissions(file, fs::perms(0444));
    const std::string before = readAll(file);
    s.callsign = "K1ABC";
    const vantrel::app::SaveResult saved = saveSettings(s, file);
    EXPECT_FALSE(saved);
    EXPECT_EQ(saved.error, std::strerror(EACCES));
    EXPECT_EQ(readAll(file), before);
    EXPECT_EQ(mode(), fs::perms(0444));
    EXPECT_EQ(entries(), 1);
}

TEST_F(SettingsDir, FailedSaveLeavesThePreviousFileUntouched) {
    const fs::path file = dir_ / "Settings.ini";
    ASSERT_TRUE(saveSettings(AppSettings{}, file));
    const std::string before = readAll(file);

    // A full disk: writes beyond a few bytes fail.
    AppSettings changed;
    changed.callsign = "K1ABC";
    struct rlimit old {};
    ::getrlimit(RLIMIT_FSIZE, &old);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit tiny = old;
    tiny.rlim_cur = 16;
    ::setrlimit(RLIMIT_FSIZE, &tiny);
    const vantrel::app::SaveResult saved = saveSettings(changed, file);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(saved);
    EXPECT_FALSE(saved.error.empty());
    EXPECT_EQ(readAll(file), before);
    EXPECT_EQ(entries(), 1);

    EXPECT_FALSE(saveSettings(changed, dir_ / "no-such-dir" / "Settings.ini"));
    fs::create_directory(dir_ / "occupied");
    EXPECT_FALSE(saveSettings(changed, dir_ / "occupied"));  // a directory is in the way
    EXPECT_EQ(entries(), 2);
}
