// vantrel-chat's command line: its own options, Qt's left alone, mistakes refused.
#include <gtest/gtest.h>

#include "app/command_line.h"

namespace vantrel::app {
namespace {

TEST(ChatCommandLine, ReadsItsOwnOptionsInEitherFormAndLeavesQtsAlone) {
    const ChatOptions none = parseChatOptions({});
    EXPECT_TRUE(none.play.empty());
    EXPECT_FALSE(none.fromMenu || none.help || none.version);
    EXPECT_TRUE(none.error.empty());

    const ChatOptions o = parseChatOptions({"-platform", "xcb", "--from-menu", "--play", "/tmp/a b.flac", "-style", "fusion"});
    EXPECT_EQ(o.play, "/tmp/a b.flac");
    EXPECT_TRUE(o.fromMenu);
    EXPECT_TRUE(o.error.empty());

    EXPECT_EQ(parseChatOptions({"--play=x.wav"}).play, "x.wav");
    EXPECT_EQ(parseChatOptions({"--play", "--from-menu"}).play, "--from-menu") << "the next argument is the file";
    EXPECT_TRUE(parseChatOptions({"-h"}).help);
    EXPECT_TRUE(parseChatOptions({"--help"}).help);
    EXPECT_TRUE(parseChatOptions({"--version"}).version);
    const ChatOptions band = parseChatOptions({"--speed", "22", "--browser"});
    EXPECT_EQ(band.speed, 22);
    EXPECT_TRUE(band.browser);
    EXPECT_EQ(parseChatOptions({"--speed=4"}).speed, 4);
    EXPECT_EQ(none.speed, 0);
}

TEST(ChatCommandLine, RefusesUnknownOptionsAndAPlayWithoutItsFile) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--play"}, {"--play="}, {"--play", ""}, {"--paly", "x.wav"}, {"--from-menu", "--demo"},
             {"--speed"}, {"--speed", "12"}, {"--speed=fast"}}) {
        const ChatOptions o = parseChatOptions(args);
        EXPECT_FALSE(o.error.empty()) << args.front();
    }
    EXPECT_NE(parseChatOptions({"--paly", "x.wav"}).error.find("--paly"), std::string::npos);
}

}  // namespace
}  // namespace vantrel::app
