#include "toc/fields.h"
#include "toc/orbtocsock.h"

namespace toc {

namespace {
    enum FrameType : unsigned char { SignOnFrame = 1, DataFrame = 2, ErrorFrame = 3, SignOffFrame = 4, KeepAliveFrame = 5 };
}

void OrbTOCSock::ProcessFrame(const std::string& strFrame)
{
    // The reader hands over a copy of its own, so neither the host nor the payload views below
    // see a buffer that a handler's Login or LogOff could change.
    const std::string& frame = strFrame;
    const std::uint64_t generation = mGeneration;
    raise([&](OrbTOCSockEvents& h) { h.IncomingPacket(frame); });
    // A handler that signed off or on again ended this connection, and this frame with it.
    if (mGeneration != generation || frame.size() < 2)
        return;

    const std::string_view payload
        = frame.size() > FlapHeaderSize ? std::string_view(frame).substr(FlapHeaderSize) : std::string_view();
    switch (static_cast<unsigned char>(frame[1])) {
    case SignOnFrame:
        answerSignOn();
        break;
    case DataFrame:
        dispatchMessage(payload);
        break;
    case ErrorFrame:
    case SignOffFrame:
        break;
    case KeepAliveFrame:
        SendPacket(KeepAliveFrame, std::string());
        break;
    default: {
        // The type byte itself, not its number: that is what hosts have always been shown.
        const std::string text = std::string("Unknown Channel Detected: ") + frame[1];
        raise([&](OrbTOCSockEvents& h) { h.Error(0, text); });
        break;
    }
    }
}

void OrbTOCSock::dispatchMessage(std::string_view payload)
{
    const std::string_view word = commandWord(payload);
    // First match wins, in the order servers are known to rely on.
    if (word == "SIGN_ON")
        return;
    if (word == "NICK")
        return handleNick(payload);
    if (word == "CONFIG2")
        return handleConfig2(payload);
    if (word == "ERROR")
        return handleError(payload);
    if (word == "UPDATE_BUDDY2")
        return handleUpdateBuddy2(payload);
    if (word == "BUDDY_CAPS2")
        return handleBuddyCaps2(payload);
    if (word == "BART2")
        return handleBart2(payload);
    if (word == "CHAT_JOIN")
        return handleChatJoin(payload);
    if (word == "CHAT_UPDATE_BUDDY")
        return handleChatUpdateBuddy(payload);
    if (word == "CHAT_IN_ENC")
        return handleChatInEnc(payload);
    if (word == "CHAT_LEFT")
        return handleChatLeft(payload);
    if (word == "IM_IN_ENC2")
        return handleImInEnc2(payload);
    if (word == "INSERTED2")
        return handleInserted2(payload);
    if (word == "CHAT_INVITE")
        return handleChatInvite(payload);
    if (word == "UPDATED2")
        return;
    if (word == "DELETED2")
        return handleDeleted2(payload);
    if (word == "GOTO_URL")
        return handleGotoUrl(payload);
    if (word == "EVILED")
        return handleEviled(payload);
    if (word == "ADMIN_NICK_STATUS")
        return raise([](OrbTOCSockEvents& h) { h.ScreenNameFormatted(); });
    if (word == "ADMIN_PASSWD_STATUS")
        return raise([](OrbTOCSockEvents& h) { h.PasswordChanged(); });
    if (word == "RVOUS_PROPOSE")
        return handleRvousPropose(payload);
    if (word == "CLIENT_EVENT2")
        return handleClientEvent2(payload);
}

} // namespace toc
