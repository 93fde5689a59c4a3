#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace toc {

#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
#endif

/// Everything the control reports to its host, in the interface's numbered order. Every handler is
/// empty by default, so a host overrides only what it cares about. Events are raised synchronously;
/// a handler may call back into the control.
class OrbTOCSockEvents {
public:
    virtual ~OrbTOCSockEvents() = default;

    /// 1. "CHAT_JOIN": a room was joined.
    virtual void JoinedChat(const std::string& strChatName, std::int32_t lngChatID) { }
    /// 2. "CHAT_IN_ENC": a message in a room.
    virtual void ChatMessage(std::int32_t lngChatID, const std::string& strUserName,
                             const std::string& strMessage) { }
    /// 3. "CHAT_INVITE": an invitation to a room.
    virtual void ChatInvite(const std::string& strChatName, std::int32_t lngChatID,
                            const std::string& strFromUser, const std::string& strInviteMessage) { }
    /// 4. "CHAT_LEFT": a room was left.
    virtual void LeftChat(std::int32_t lngChatID) { }
    /// 5. "CHAT_UPDATE_BUDDY": one user came into or left a room.
    virtual void ChatUserUpdate(const std::string& strUserName, bool blnInside, std::int32_t lngChatID) { }
    /// 6. "UPDATE_BUDDY2": a buddy's presence.
    virtual void BuddyUpdate(const std::string& strBuddy, bool blnOnline, std::int16_t intWarningLevel,
                             std::int32_t lngOnlineTime, std::int32_t lngIdleTime,
                             const std::string& strUserClass) { }
    /// 7. Has no name and is never raised; it holds its place so the numbers after it stay put.
    virtual void Reserved7(const std::string& strGroup, const std::string& strBuddy) { }
    /// 8. "BUDDY_CAPS2".
    virtual void BuddyCapabilities(const std::string& strUserName, const std::string& strCaps) { }
    /// 9. "BART2".
    virtual void BuddyBart(const std::string& strUserName, const std::string& strBart) { }
    /// 10. "INSERTED2", kind b.
    virtual void BuddyAdded(const std::string& strGroup, const std::string& strBuddy, const std::string& strAlias) { }
    /// 11. "INSERTED2", kind g.
    virtual void GroupAdded(const std::string& strGroup) { }
    /// 12. "INSERTED2", kind p.
    virtual void PrivateBuddyAdded(const std::string& strBuddy) { }
    /// 13. "INSERTED2", kind d.
    virtual void BuddyBlocked(const std::string& strBuddy) { }
    /// 14. "DELETED2", kind b.
    virtual void BuddyRemoved(const std::string& strGroup, const std::string& strBuddy) { }
    /// 15. "DELETED2", kind g.
    virtual void GroupRemoved(const std::string& strGroup) { }
    /// 16. "DELETED2", kind p.
    virtual void PrivateBuddyRemoved(const std::string& strBuddy) { }
    /// 17. "DELETED2", kind d.
    virtual void BuddyUnblocked(const std::string& strBuddy) { }
    /// 18. The end of the configuration: the account is signed on.
    virtual void LoggedIn(const std::string& strUserName, const std::vector<std::string>& BuddyList,
                          const std::vector<std::string>& BlockList, const std::vector<std::string>& PrivateList,
                          const std::vector<std::string>& MiscData, const std::string& strPreferences,
                          std::int16_t PrivacyMode) { }
    /// 19. Raised by LogOff, with the stored normalised screen name.
    virtual void LoggedOut(const std::string& strUserName) { }
    /// 20. "NICK": the screen name as the server formats it.
    virtual void ScreennameFormat(const std::string& strFormattedSN) { }
    /// 21. "IM_IN_ENC2": an instant message.
    virtual void InstantMessage(const std::string& strUserName, const std::string& strMessage,
                                bool blnAutoResponse, const std::string& strUserClass) { }
    /// 22. "GOTO_URL": where a requested profile can be read.
    virtual void UserProfile(const std::string& strURL) { }
    /// 23. "ERROR" from the server, or a frame of unknown type (code 0).
    virtual void Error(std::int16_t intErrorCode, const std::string& strError) { }
    /// 24. "EVILED": the new warning level in decimal, and who warned (empty when anonymous).
    virtual void Warned(const std::string& intWarningLevel, const std::string& strFromUser) { }
    /// 25. "CLIENT_EVENT2": a typing notice.
    virtual void TypingStatus(const std::string& strUserName, std::int16_t intTypingStatus) { }
    /// 26. The connection failed or was closed by the server.
    virtual void WinsockError(const std::string& strError) { }
    /// 27. "RVOUS_PROPOSE".
    virtual void RendevousRequest(const std::string& strUserName, const std::string& strUUID,
                                  const std::string& strCookie, const std::string& strRendevousIP,
                                  const std::string& strProposerIP, const std::string& strVerifiedIP,
                                  std::int32_t lngPort) { }
    /// 28. Every received frame, header included, before anything else is done with it.
    virtual void IncomingPacket(const std::string& strPacket) { }
    /// 29. "ADMIN_PASSWD_STATUS".
    virtual void PasswordChanged() { }
    /// 30. "ADMIN_NICK_STATUS".
    virtual void ScreenNameFormatted() { }
};

#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

} // namespace toc
