// Run after every other end-to-end test: every event of the interface must have crossed real TCP
// in one of them.

#include <fstream>
#include <set>
#include <string>

#include <QDir>

#include <gtest/gtest.h>

TEST(EventCoverage, EveryEventCrossedRealTcp)
{
    const std::set<std::string> all = {
        "JoinedChat", "ChatMessage", "ChatInvite", "LeftChat", "ChatUserUpdate", "BuddyUpdate",
        "BuddyCapabilities", "BuddyBart", "BuddyAdded", "GroupAdded", "PrivateBuddyAdded", "BuddyBlocked",
        "BuddyRemoved", "GroupRemoved", "PrivateBuddyRemoved", "BuddyUnblocked", "LoggedIn", "LoggedOut",
        "ScreennameFormat", "InstantMessage", "UserProfile", "Error", "Warned", "TypingStatus", "WinsockError",
        "RendevousRequest", "IncomingPacket", "PasswordChanged", "ScreenNameFormatted",
    };
    ASSERT_EQ(all.size(), 29u);
    std::set<std::string> seen;
    const QDir dir(QStringLiteral(E2E_EVENTS_DIR));
    for (const auto& file : dir.entryList({ QStringLiteral("*.events") }, QDir::Files)) {
        std::ifstream in(dir.filePath(file).toStdString());
        // Reconnecting is toc-cli's own line, not an event of the control.
        for (std::string name; std::getline(in, name);)
            seen.insert(name == "Reconnecting" ? "WinsockError" : name);
    }
    EXPECT_EQ(seen, all) << "every event of the interface, and nothing else, must have crossed TCP";
}
