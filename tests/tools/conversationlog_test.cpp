#include "tools/conversationlog.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;

struct Log {
    Log()
        : dir(fs::temp_directory_path() / ("convlog-" + std::to_string(::getpid())))
        , log((dir / "state/logs").string(), [this] { return now; })
    {
        now.tm_year = 126;
        now.tm_mon = 11;
        now.tm_mday = 31;
        now.tm_hour = 23;
        now.tm_min = 59;
        now.tm_sec = 58;
        log.onFailure = [this](const std::string& why) { failures += why + "\n"; };
    }
    ~Log() { fs::remove_all(dir); }
    std::string read(const char* day) const
    {
        std::ifstream in(dir / "state/logs" / day);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    static unsigned mode(const fs::path& path)
    {
        struct stat st {};
        ::stat(path.c_str(), &st);
        return st.st_mode & 0777;
    }

    fs::path dir;
    std::tm now {};
    tocli::ConversationLog log;
    std::string failures;
};

TEST(ConversationLog, EachThingSaidIsOnePlainLineInTheFileOfItsDay)
{
    Log t;
    t.log.Note("signed on");
    t.log.Received("Bob", "<font color=\"red\">Hi &amp; <b>bye</b></font><br>line two\r\nthree\x1b[2J");
    t.log.Received("Ren\xe9", "caf\xe9 \xff");             // not UTF-8: read as Latin-1
    t.log.Received("Zo\xc3\xab", "\xe2\x82\xac 5 <unclosed"); // UTF-8 kept
    t.now.tm_sec = 59;
    t.log.Sent("bob", "ok", false);
    t.log.Sent("bob", "Away", true);
    t.log.Chat("Lobby", "ann", "a\nb");
    t.now.tm_year = 127;
    t.now.tm_mon = 0;
    t.now.tm_mday = 1;
    t.now.tm_hour = t.now.tm_min = t.now.tm_sec = 0;
    t.log.Note("signed off");
    EXPECT_EQ(t.read("2026-12-31.log"),
        "23:59:58 signed on\n"
        "23:59:58 Bob: Hi & bye\\nline two\\nthree [2J\n"
        "23:59:58 Ren\xc3\xa9: caf\xc3\xa9 \xc3\xbf\n"
        "23:59:58 Zo\xc3\xab: \xe2\x82\xac 5 <unclosed\n"
        "23:59:59 -> bob: ok\n"
        "23:59:59 -> bob (auto): Away\n"
        "23:59:59 [Lobby] ann: a\\nb\n");
    EXPECT_EQ(t.read("2027-01-01.log"), "00:00:00 signed off\n");
    EXPECT_EQ(Log::mode(t.dir / "state"), 0700u);
    EXPECT_EQ(Log::mode(t.dir / "state/logs"), 0700u);
    EXPECT_EQ(Log::mode(t.dir / "state/logs/2026-12-31.log"), 0600u);
    EXPECT_EQ(t.failures, "");
}

TEST(ConversationLog, ALogThatCannotBeWrittenIsSaidOnceAndTriedAgainWithTheNextLine)
{
    Log t;
    const fs::path logs = t.dir / "state/logs";
    t.log.Note("1");
    fs::remove_all(logs);
    t.log.Note("2 in a directory made again");
    std::ofstream(logs.string() + ".tmp") << "in the way";
    fs::remove_all(logs);
    fs::rename(logs.string() + ".tmp", logs);
    t.log.Note("3 lost");
    t.log.Note("4 lost");
    fs::remove(logs);
    t.log.Note("5");
    EXPECT_EQ(t.failures, logs.string() + " was removed; made again\n" + (logs / "2026-12-31.log").string()
                  + ": Not a directory\n");
    EXPECT_EQ(t.read("2026-12-31.log"), "23:59:58 5\n");
}

} // namespace
