#include <limits>
#include <stdexcept>
#include <string>
#include <string_view>

#include "toc/encoding.h"
#include "toc/orbtocsock.h"

namespace toc {

namespace {
    std::string quoted(std::string_view text)
    {
        std::string out;
        out.reserve(text.size() + 2);
        out += '"';
        out += text;
        out += '"';
        return out;
    }

    std::string quotedNumber(long long n) { return quoted(std::to_string(n)); }

    std::string_view trimSpaces(std::string_view text)
    {
        const auto first = text.find_first_not_of(' ');
        if (first == std::string_view::npos)
            return {};
        return text.substr(first, text.find_last_not_of(' ') - first + 1);
    }
}

void OrbTOCSock::JoinChat(const std::string& strRoomName, std::int16_t intExchange)
{
    sendCommand("toc_chat_join " + quotedNumber(intExchange) + " " + quoted(trimSpaces(strRoomName)));
}

void OrbTOCSock::LeaveChat(const std::string& strChatName, std::int32_t lngChatID)
{
    const auto id = resolveChatID(strChatName, lngChatID);
    if (!id)
        return;
    sendCommand("toc_chat_leave " + quotedNumber(*id));
}

void OrbTOCSock::SendChat(const std::string& strChatName, const std::string& strMessage, std::int32_t lngChatID)
{
    const auto id = resolveChatID(strChatName, lngChatID);
    if (!id)
        return;
    sendCommand("toc_chat_send " + quotedNumber(*id) + " " + quoted(EscapeText(strMessage)));
}

void OrbTOCSock::GetProfile(const std::string& strUserName)
{
    sendCommand("toc_get_info " + quoted(NormalizeName(strUserName)));
}

void OrbTOCSock::SendIM(const std::string& strUserName, const std::string& strMessage, bool AutoResponse)
{
    std::string text = "toc_send_im " + quoted(NormalizeName(strUserName)) + " " + quoted(EscapeText(strMessage));
    if (AutoResponse)
        text += " auto";
    sendCommand(std::move(text));
}

void OrbTOCSock::ChangePassword(const std::string& strOldPassword, const std::string& strNewPassword)
{
    sendCommand("toc_change_passwd " + quoted(EscapeText(strOldPassword)) + " " + quoted(EscapeText(strNewPassword)));
}

void OrbTOCSock::FormatUserName(const std::string& strFormatted)
{
    sendCommand("toc_format_nickname " + quoted(strFormatted));
}

void OrbTOCSock::SetAwayMessage(const std::string& strAwayMessage)
{
    sendCommand("toc_set_away " + quoted(EscapeText(strAwayMessage)));
}

void OrbTOCSock::SetProfile(const std::string& strProfile)
{
    sendCommand("toc_set_info " + quoted(EscapeText(strProfile)));
}

void OrbTOCSock::GetStatus(const std::string& strUserName)
{
    sendCommand("toc_get_status " + quoted(NormalizeName(strUserName)));
}

void OrbTOCSock::SetIdleTime(std::int32_t lngMinutes)
{
    const long long seconds = static_cast<long long>(lngMinutes) * 60;
    if (seconds > std::numeric_limits<std::int32_t>::max() || seconds < std::numeric_limits<std::int32_t>::min())
        throw std::overflow_error("SetIdleTime: " + std::to_string(lngMinutes) + " minutes do not fit in seconds");
    sendCommand("toc_set_idle " + quotedNumber(seconds));
}

void OrbTOCSock::AcceptChatInvite(std::int32_t lngChatID)
{
    sendCommand("toc_chat_accept " + quotedNumber(lngChatID));
}

void OrbTOCSock::InviteUsers(const std::string& strChatName, const std::string& strInviteMessage,
                             const std::string& strUsers, std::int32_t lngChatID)
{
    const auto id = resolveChatID(strChatName, lngChatID);
    if (!id)
        return;
    sendCommand("toc_chat_invite " + quotedNumber(*id) + " " + quoted(EscapeText(strInviteMessage)) + " "
                + quoted(NormalizeName(strUsers)));
}

void OrbTOCSock::WarnUser(const std::string& strUserName, bool blnAnonymous)
{
    sendCommand("toc_evil " + quoted(NormalizeName(strUserName)) + (blnAnonymous ? " \"anon\"" : " \"norm\""));
}

void OrbTOCSock::AddBuddy(const std::string& strGroup, const std::string& strBuddy)
{
    sendCommand("toc2_new_buddies " + quoted("g:" + EscapeText(strGroup) + "\nb:" + EscapeText(strBuddy) + "\n"));
}

void OrbTOCSock::RemoveBuddy(const std::string& strGroup, const std::string& strBuddy)
{
    // The server wants the buddy first.
    sendCommand("toc2_remove_buddy " + quoted(strBuddy) + " " + quoted(EscapeText(strGroup)));
}

void OrbTOCSock::AddGroup(const std::string& strGroup)
{
    sendCommand("toc2_new_group " + quoted(EscapeText(strGroup)));
}

void OrbTOCSock::RemoveGroup(const std::string& strGroup)
{
    sendCommand("toc2_del_group " + quoted(EscapeText(strGroup)));
}

void OrbTOCSock::BlockUser(const std::string& strUserName)
{
    sendCommand("toc2_add_deny " + quoted(NormalizeName(strUserName)));
}

void OrbTOCSock::UnblockUser(const std::string& strUserName)
{
    sendCommand("toc2_remove_deny " + quoted(NormalizeName(strUserName)));
}

void OrbTOCSock::AddPrivateUser(const std::string& strUserName)
{
    sendCommand("toc2_add_permit " + quoted(NormalizeName(strUserName)));
}

void OrbTOCSock::RemovePrivateUser(const std::string& strUserName)
{
    sendCommand("toc2_remove_permit " + quoted(NormalizeName(strUserName)));
}

void OrbTOCSock::SetPrivacy(std::int16_t intMode)
{
    sendCommand("toc2_set_pdmode " + std::to_string(intMode));
}

void OrbTOCSock::SetCapability(const std::string& strCapUUID)
{
    sendCommand("toc_set_caps " + quoted(strCapUUID));
}

std::optional<std::int32_t> OrbTOCSock::resolveChatID(const std::string& strChatName, std::int32_t lngChatID) const
{
    if (lngChatID != 0)
        return lngChatID;
    // Only rooms actually joined count: a free slot's empty name must not stand for room 0.
    for (const ChatSlot& slot : mChatTable) {
        if (slot.InUse && slot.Name == strChatName)
            return slot.ID;
    }
    return std::nullopt;
}

void OrbTOCSock::sendCommand(std::string text) { SendPacket(2, std::move(text)); }

} // namespace toc
