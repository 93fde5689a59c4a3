#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "toc/events.h"
#include "toc/flap.h"
#include "toc/socket.h"

namespace toc {

/// One slot of the chat table. `InUse` tells a taken slot from a free one, so that a room whose ID
/// is 0 (servers number rooms per connection from 0) is a room like any other.
struct ChatSlot {
    std::int32_t ID = 0;
    std::string Name;
    bool InUse = false;
};

/// The TOC2 client control: the connection, FLAP framing, sign-on, every client command and the
/// parsing of every server message, reported through OrbTOCSockEvents. Single-threaded; handlers
/// may call back into the control, including Login and LogOff.
class OrbTOCSock {
public:
    /// Authorizer host named in toc2_login when Login is given none.
    static constexpr const char* DefaultAuthServer = "login.oscar.aol.com";
    static constexpr std::size_t ChatSlots = 11;

    explicit OrbTOCSock(std::unique_ptr<Socket> sock, OrbTOCSockEvents* host = nullptr);
    ~OrbTOCSock();
    OrbTOCSock(const OrbTOCSock&) = delete;
    OrbTOCSock& operator=(const OrbTOCSock&) = delete;

    /// The receiver of events; nullptr drops them.
    void SetHost(OrbTOCSockEvents* host);

    /// Stores the settings (name normalised, password roasted), forgets the chat table and any
    /// partial frame or configuration of an earlier connection, and starts connecting. Reports
    /// failures later, as WinsockError.
    void Login(const std::string& UserName, const std::string& Password, const std::string& TOCServer,
               std::int32_t Port, std::optional<std::string> AuthServer = std::nullopt);
    /// Closes the connection, raises LoggedOut with the stored name, then clears the settings.
    void LogOff();
    /// Frames and sends one packet (type 2 gets a trailing NUL). Sends nothing when not connected,
    /// when the payload would not fit the 16-bit length, or when the type is outside 0..255.
    void SendPacket(std::int16_t intChannel, std::string strData);

    void JoinChat(const std::string& strRoomName, std::int16_t intExchange);
    /// lngChatID 0 looks the room up by name; an unknown name sends nothing.
    void LeaveChat(const std::string& strChatName, std::int32_t lngChatID = 0);
    void SendChat(const std::string& strChatName, const std::string& strMessage, std::int32_t lngChatID = 0);
    void GetProfile(const std::string& strUserName);
    void SendIM(const std::string& strUserName, const std::string& strMessage, bool AutoResponse = false);
    void ChangePassword(const std::string& strOldPassword, const std::string& strNewPassword);
    void FormatUserName(const std::string& strFormatted);
    void SetAwayMessage(const std::string& strAwayMessage);
    void SetProfile(const std::string& strProfile);
    void GetStatus(const std::string& strUserName);
    /// Throws std::overflow_error, sending nothing, when the minutes in seconds leave int32.
    void SetIdleTime(std::int32_t lngMinutes);
    void AcceptChatInvite(std::int32_t lngChatID);
    void InviteUsers(const std::string& strChatName, const std::string& strInviteMessage,
                     const std::string& strUsers, std::int32_t lngChatID = 0);
    void WarnUser(const std::string& strUserName, bool blnAnonymous);
    void AddBuddy(const std::string& strGroup, const std::string& strBuddy);
    void RemoveBuddy(const std::string& strGroup, const std::string& strBuddy);
    void AddGroup(const std::string& strGroup);
    void RemoveGroup(const std::string& strGroup);
    void BlockUser(const std::string& strUserName);
    void UnblockUser(const std::string& strUserName);
    void AddPrivateUser(const std::string& strUserName);
    void RemovePrivateUser(const std::string& strUserName);
    void SetPrivacy(std::int16_t intMode);
    void SetCapability(const std::string& strCapUUID);
    /// The message with every "<...>" removed.
    std::string RemoveHtml(std::string strMessage) const;
    /// The room name of a joined chat, or "[No Chat Name Found for ID]".
    std::string GetChatName(std::int32_t lngChatID) const;

    /// ID of the room joined last; 0 after LogOff.
    std::int32_t LastChatID() const;
    void SetLastChatID(std::int32_t value);

private:
    // Connection and framing (orbtocsock.cpp).
    void onSockConnected();
    void onSockDataArrival();
    void onSockError(const std::string& description);
    void onSockClosedByPeer();
    void emptyChatTable();
    template <typename F> void raise(F&& call)
    {
        if (mHost)
            call(*mHost);
    }

    // Frame dispatch (dispatch.cpp).
    void ProcessFrame(const std::string& strFrame);
    void dispatchMessage(std::string_view payload);

    // Sign-on (signon.cpp).
    void answerSignOn();
    void handleNick(std::string_view payload);
    void handleConfig2(std::string_view payload);

    // Server messages (messages.cpp).
    void handleError(std::string_view payload);
    void handleUpdateBuddy2(std::string_view payload);
    void handleBuddyCaps2(std::string_view payload);
    void handleBart2(std::string_view payload);
    void handleChatJoin(std::string_view payload);
    void handleChatUpdateBuddy(std::string_view payload);
    void handleChatInEnc(std::string_view payload);
    void handleChatLeft(std::string_view payload);
    void handleImInEnc2(std::string_view payload);
    void handleInserted2(std::string_view payload);
    void handleChatInvite(std::string_view payload);
    void handleDeleted2(std::string_view payload);
    void handleGotoUrl(std::string_view payload);
    void handleEviled(std::string_view payload);
    void handleRvousPropose(std::string_view payload);
    void handleClientEvent2(std::string_view payload);

    // Commands (commands.cpp).
    std::optional<std::int32_t> resolveChatID(const std::string& strChatName, std::int32_t lngChatID) const;
    void sendCommand(std::string text);

    std::unique_ptr<Socket> Sock;
    OrbTOCSockEvents* mHost = nullptr;

    std::int32_t mLastChatID = 0;
    std::int32_t mPort = 0;
    std::string mUserName;
    std::string mPassword;
    std::string mAuthServer;
    std::string mTOCServer;
    std::string mFormattedName;
    std::array<ChatSlot, ChatSlots> mChatTable {};
    FlapReader mRecvBuffer;
    std::string mConfigBuffer;
    std::int32_t mSendSeq = 0;
    // Bumped by Login and LogOff: a handler that opened or closed a connection ends the handling
    // of the old connection's bytes and of whatever clean-up would follow its event.
    std::uint64_t mGeneration = 0;
    // Set while received bytes of connection mReadingGeneration are being cut and handed over;
    // see onSockDataArrival.
    bool mReading = false;
    std::uint64_t mReadingGeneration = 0;
};

} // namespace toc
