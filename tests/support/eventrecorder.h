#pragma once

#include <functional>
#include <string>
#include <vector>

#include "toc/events.h"

namespace testing_support {

/// Quotes byte text for a log line: printable ASCII as is, backslash and double quote escaped,
/// everything else as \xNN.
std::string Quote(const std::string& bytes);

/// Writes every event as one line, e.g. `JoinedChat("Room", 7)` or `LoggedIn("joe", ["[group]B"],
/// [], [], [], "", 1)`, so a test compares the whole log with a literal one. IncomingPacket is
/// logged only when `logPackets` is set, as `IncomingPacket(<n> bytes)`.
class EventRecorder : public toc::OrbTOCSockEvents {
public:
    std::vector<std::string> log;
    bool logPackets = false;
    /// With `logPackets`, logs the packet's bytes quoted, `IncomingPacket("*\x05...")`, not its size.
    bool packetBytes = false;
    /// Called after each event is logged, with the event's name: lets a test re-enter the control.
    std::function<void(const std::string& name)> after;

    std::string Joined() const;
    void Clear() { log.clear(); }

    void JoinedChat(const std::string& strChatName, std::int32_t lngChatID) override;
    void ChatMessage(std::int32_t lngChatID, const std::string& strUserName, const std::string& strMessage) override;
    void ChatInvite(const std::string& strChatName, std::int32_t lngChatID, const std::string& strFromUser,
                    const std::string& strInviteMessage) override;
    void LeftChat(std::int32_t lngChatID) override;
    void ChatUserUpdate(const std::string& strUserName, bool blnInside, std::int32_t lngChatID) override;
    void BuddyUpdate(const std::string& strBuddy, bool blnOnline, std::int16_t intWarningLevel,
                     std::int32_t lngOnlineTime, std::int32_t lngIdleTime, const std::string& strUserClass) override;
    void BuddyCapabilities(const std::string& strUserName, const std::string& strCaps) override;
    void BuddyBart(const std::string& strUserName, const std::string& strBart) override;
    void BuddyAdded(const std::string& strGroup, const std::string& strBuddy, const std::string& strAlias) override;
    void GroupAdded(const std::string& strGroup) override;
    void PrivateBuddyAdded(const std::string& strBuddy) override;
    void BuddyBlocked(const std::string& strBuddy) override;
    void BuddyRemoved(const std::string& strGroup, const std::string& strBuddy) override;
    void GroupRemoved(const std::string& strGroup) override;
    void PrivateBuddyRemoved(const std::string& strBuddy) override;
    void BuddyUnblocked(const std::string& strBuddy) override;
    void LoggedIn(const std::string& strUserName, const std::vector<std::string>& BuddyList,
                  const std::vector<std::string>& BlockList, const std::vector<std::string>& PrivateList,
                  const std::vector<std::string>& MiscData, const std::string& strPreferences,
                  std::int16_t PrivacyMode) override;
    void LoggedOut(const std::string& strUserName) override;
    void ScreennameFormat(const std::string& strFormattedSN) override;
    void InstantMessage(const std::string& strUserName, const std::string& strMessage, bool blnAutoResponse,
                        const std::string& strUserClass) override;
    void UserProfile(const std::string& strURL) override;
    void Error(std::int16_t intErrorCode, const std::string& strError) override;
    void Warned(const std::string& intWarningLevel, const std::string& strFromUser) override;
    void TypingStatus(const std::string& strUserName, std::int16_t intTypingStatus) override;
    void WinsockError(const std::string& strError) override;
    void RendevousRequest(const std::string& strUserName, const std::string& strUUID, const std::string& strCookie,
                          const std::string& strRendevousIP, const std::string& strProposerIP,
                          const std::string& strVerifiedIP, std::int32_t lngPort) override;
    void IncomingPacket(const std::string& strPacket) override;
    void PasswordChanged() override;
    void ScreenNameFormatted() override;

private:
    void add(const std::string& name, const std::string& args);
};

} // namespace testing_support
