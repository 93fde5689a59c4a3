#include "tools/jsoneventwriter.h"

#include <utility>

#include "tools/bytejson.h"

namespace tocli {

namespace {

Json text(const std::string& bytes) { return BytesToJson(bytes); }

Json list(const std::vector<std::string>& items)
{
    auto out = Json::array();
    for (const auto& item : items)
        out.push_back(BytesToJson(item));
    return out;
}

} // namespace

JsonEventWriter::JsonEventWriter(LineSink sink)
    : m_sink(std::move(sink))
{
}

void JsonEventWriter::write(const char* name, Json::initializer_list_t args)
{
    // Spelled out as array() because a braced list of one JSON value is a copy on some compilers.
    Json line = Json::object();
    line["event"] = name;
    line["args"] = Json::array(args);
    m_sink(line.dump());
}

void JsonEventWriter::JoinedChat(const std::string& strChatName, std::int32_t lngChatID)
{
    write("JoinedChat", { text(strChatName), lngChatID });
}

void JsonEventWriter::ChatMessage(std::int32_t lngChatID, const std::string& strUserName,
                                  const std::string& strMessage)
{
    write("ChatMessage", { lngChatID, text(strUserName), text(strMessage) });
}

void JsonEventWriter::ChatInvite(const std::string& strChatName, std::int32_t lngChatID,
                                 const std::string& strFromUser, const std::string& strInviteMessage)
{
    write("ChatInvite", { text(strChatName), lngChatID, text(strFromUser), text(strInviteMessage) });
}

void JsonEventWriter::LeftChat(std::int32_t lngChatID) { write("LeftChat", { lngChatID }); }

void JsonEventWriter::ChatUserUpdate(const std::string& strUserName, bool blnInside, std::int32_t lngChatID)
{
    write("ChatUserUpdate", { text(strUserName), blnInside, lngChatID });
}

void JsonEventWriter::BuddyUpdate(const std::string& strBuddy, bool blnOnline, std::int16_t intWarningLevel,
                                  std::int32_t lngOnlineTime, std::int32_t lngIdleTime,
                                  const std::string& strUserClass)
{
    write("BuddyUpdate",
          { text(strBuddy), blnOnline, intWarningLevel, lngOnlineTime, lngIdleTime, text(strUserClass) });
}

void JsonEventWriter::BuddyCapabilities(const std::string& strUserName, const std::string& strCaps)
{
    write("BuddyCapabilities", { text(strUserName), text(strCaps) });
}

void JsonEventWriter::BuddyBart(const std::string& strUserName, const std::string& strBart)
{
    write("BuddyBart", { text(strUserName), text(strBart) });
}

void JsonEventWriter::BuddyAdded(const std::string& strGroup, const std::string& strBuddy,
                                 const std::string& strAlias)
{
    write("BuddyAdded", { text(strGroup), text(strBuddy), text(strAlias) });
}

void JsonEventWriter::GroupAdded(const std::string& strGroup) { write("GroupAdded", { text(strGroup) }); }

void JsonEventWriter::PrivateBuddyAdded(const std::string& strBuddy)
{
    write("PrivateBuddyAdded", { text(strBuddy) });
}

void JsonEventWriter::BuddyBlocked(const std::string& strBuddy) { write("BuddyBlocked", { text(strBuddy) }); }

void JsonEventWriter::BuddyRemoved(const std::string& strGroup, const std::string& strBuddy)
{
    write("BuddyRemoved", { text(strGroup), text(strBuddy) });
}

void JsonEventWriter::GroupRemoved(const std::string& strGroup) { write("GroupRemoved", { text(strGroup) }); }

void JsonEventWriter::PrivateBuddyRemoved(const std::string& strBuddy)
{
    write("PrivateBuddyRemoved", { text(strBuddy) });
}

void JsonEventWriter::BuddyUnblocked(const std::string& strBuddy) { write("BuddyUnblocked", { text(strBuddy) }); }

void JsonEventWriter::LoggedIn(const std::string& strUserName, const std::vector<std::string>& BuddyList,
                               const std::vector<std::string>& BlockList,
                               const std::vector<std::string>& PrivateList,
                               const std::vector<std::string>& MiscData, const std::string& strPreferences,
                               std::int16_t PrivacyMode)
{
    write("LoggedIn",
          { text(strUserName), list(BuddyList), list(BlockList), list(PrivateList), list(MiscData),
            text(strPreferences), PrivacyMode });
}

void JsonEventWriter::LoggedOut(const std::string& strUserName) { write("LoggedOut", { text(strUserName) }); }

void JsonEventWriter::ScreennameFormat(const std::string& strFormattedSN)
{
    write("ScreennameFormat", { text(strFormattedSN) });
}

void JsonEventWriter::InstantMessage(const std::string& strUserName, const std::string& strMessage,
                                     bool blnAutoResponse, const std::string& strUserClass)
{
    write("InstantMessage", { text(strUserName), text(strMessage), blnAutoResponse, text(strUserClass) });
}

void JsonEventWriter::UserProfile(const std::string& strURL) { write("UserProfile", { text(strURL) }); }

void JsonEventWriter::Error(std::int16_t intErrorCode, const std::string& strError)
{
    write("Error", { intErrorCode, text(strError) });
}

void JsonEventWriter::Warned(const std::string& intWarningLevel, const std::string& strFromUser)
{
    write("Warned", { text(intWarningLevel), text(strFromUser) });
}

void JsonEventWriter::TypingStatus(const std::string& strUserName, std::int16_t intTypingStatus)
{
    write("TypingStatus", { text(strUserName), intTypingStatus });
}

void JsonEventWriter::WinsockError(const std::string& strError) { write("WinsockError", { text(strError) }); }

void JsonEventWriter::RendevousRequest(const std::string& strUserName, const std::string& strUUID,
                                       const std::string& strCookie, const std::string& strRendevousIP,
                                       const std::string& strProposerIP, const std::string& strVerifiedIP,
                                       std::int32_t lngPort)
{
    write("RendevousRequest",
          { text(strUserName), text(strUUID), text(strCookie), text(strRendevousIP), text(strProposerIP),
            text(strVerifiedIP), lngPort });
}

void JsonEventWriter::IncomingPacket(const std::string& strPacket) { write("IncomingPacket", { text(strPacket) }); }

void JsonEventWriter::PasswordChanged() { write("PasswordChanged", {}); }

void JsonEventWriter::ScreenNameFormatted() { write("ScreenNameFormatted", {}); }

} // namespace tocli
