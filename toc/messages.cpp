#include <string>
#include <string_view>

#include "toc/fields.h"
#include "toc/orbtocsock.h"

namespace toc {

namespace {
    std::string str(std::string_view view) { return std::string(view); }

    // Flags are false only for the single letter F; anything else, T included, is true.
    bool notF(std::string_view flag) { return flag != "F"; }
}

void OrbTOCSock::handleError(std::string_view payload)
{
    const FieldList f = splitFields(payload, 3);
    const auto code = readInt16(f[1]);
    if (!f.has(1) || !code)
        return;
    const std::string_view codeText = f[1];
    std::int16_t errorCode = *code;
    std::string text;

    if (codeText == "901" || codeText == "902") {
        if (!f.has(2))
            return;
        text = codeText == "901" ? str(f[2]) + " is not available"
                                 : "Warning of " + str(f[2]) + " is not currently available";
    } else if (codeText == "903") {
        text = "A message has been dropped, you are exceeding the server speed limit";
    } else if (codeText == "911") {
        text = "Error validating input";
    } else if (codeText == "951") {
        const FieldList g = splitFields(payload, 4);
        if (!g.has(2))
            return;
        const std::string_view sub = g[3];
        const char* ending = "': Unknown error";
        if (g.has(3)) {
            if (sub == "-1")
                ending = "': Possible Reset";
            else if (sub == "24")
                ending = "': Chat Full";
            else if (sub == "48")
                ending = "': Rated";
            else if (sub == "74")
                ending = "': Ejected";
        }
        text = "Could not join chat '" + str(g[2]) + ending;
    } else if (codeText == "980") {
        text = "Invalid account or password";
    } else if (codeText == "983") {
        text = "You are attempting to sign on again too soon";
    } else if (codeText == "989") {
        if (!f.has(2))
            return;
        const std::string_view sub = f[2];
        if (sub == "7") {
            text = "The screenname or password you entered is not valid";
        } else if (sub == "17") {
            text = "Sign on Blocked";
        } else {
            // The host is told the sub-error as the code here, so it has to be a number.
            const auto subCode = readInt16(sub);
            if (!subCode)
                return;
            errorCode = *subCode;
            text = "Unknown error code 989, sub error: " + str(sub);
        }
    } else {
        text = "Error code: " + str(codeText);
    }
    raise([&](OrbTOCSockEvents& h) { h.Error(errorCode, text); });
}

void OrbTOCSock::handleUpdateBuddy2(std::string_view payload)
{
    const FieldList f = splitFields(payload, 8);
    const auto warning = readInt16(f[3]);
    const auto onlineTime = readInt32(f[4]);
    const auto idleTime = readInt32(f[5]);
    if (!f.has(6) || !warning || !onlineTime || !idleTime)
        return;
    raise([&](OrbTOCSockEvents& h) { h.BuddyUpdate(str(f[1]), notF(f[2]), *warning, *onlineTime, *idleTime, str(f[6])); });
}

void OrbTOCSock::handleBuddyCaps2(std::string_view payload)
{
    const FieldList f = splitFields(payload, 3);
    if (!f.has(2))
        return;
    raise([&](OrbTOCSockEvents& h) { h.BuddyCapabilities(str(f[1]), str(f[2])); });
}

void OrbTOCSock::handleBart2(std::string_view payload)
{
    const FieldList f = splitFields(payload, 3);
    if (!f.has(2))
        return;
    raise([&](OrbTOCSockEvents& h) { h.BuddyBart(str(f[1]), str(f[2])); });
}

void OrbTOCSock::handleChatJoin(std::string_view payload)
{
    const FieldList f = splitFields(payload, 3);
    const auto id = readInt32(f[1]);
    if (!id)
        return;
    // A twelfth room finds no slot; it is still joined and reported.
    for (ChatSlot& slot : mChatTable) {
        if (!slot.InUse) {
            slot.ID = *id;
            slot.Name = f[2];
            slot.InUse = true;
            break;
        }
    }
    mLastChatID = *id;
    // A join without a name keeps its slot and LastChatID but is not reported.
    if (!f.has(2))
        return;
    raise([&](OrbTOCSockEvents& h) { h.JoinedChat(str(f[2]), *id); });
}

void OrbTOCSock::handleChatUpdateBuddy(std::string_view payload)
{
    const FieldList f = splitFields(payload, AllPieces);
    const auto id = readInt32(f[1]);
    if (!id || !f.has(3))
        return;
    if (f[2] != "T") {
        // Only the first user who left is reported.
        raise([&](OrbTOCSockEvents& h) { h.ChatUserUpdate(str(f[3]), false, *id); });
        return;
    }
    const std::uint64_t generation = mGeneration;
    for (std::size_t k = 3; k < f.size(); ++k) {
        raise([&](OrbTOCSockEvents& h) { h.ChatUserUpdate(str(f[k]), true, *id); });
        if (mGeneration != generation)
            return;
    }
}

void OrbTOCSock::handleChatInEnc(std::string_view payload)
{
    const FieldList f = splitFields(payload, 7);
    const auto id = readInt32(f[1]);
    if (!id || !f.has(6))
        return;
    raise([&](OrbTOCSockEvents& h) { h.ChatMessage(*id, str(f[2]), str(f[6])); });
}

void OrbTOCSock::handleChatLeft(std::string_view payload)
{
    const FieldList f = splitFields(payload, 2);
    const auto id = readInt32(f[1]);
    if (!id)
        return;
    for (ChatSlot& slot : mChatTable) {
        if (slot.InUse && slot.ID == *id) {
            slot = ChatSlot {};
            break;
        }
    }
    raise([&](OrbTOCSockEvents& h) { h.LeftChat(*id); });
}

void OrbTOCSock::handleImInEnc2(std::string_view payload)
{
    const FieldList f = splitFields(payload, 10);
    if (!f.has(9))
        return;
    raise([&](OrbTOCSockEvents& h) { h.InstantMessage(str(f[1]), str(f[9]), notF(f[2]), str(f[5])); });
}

void OrbTOCSock::handleInserted2(std::string_view payload)
{
    const std::string_view kind = splitFields(payload, 3)[1];
    if (kind == "b") {
        const FieldList f = splitFields(payload, 5);
        if (f.has(4))
            raise([&](OrbTOCSockEvents& h) { h.BuddyAdded(str(f[4]), str(f[3]), str(f[2])); });
        return;
    }
    const FieldList f = splitFields(payload, 3);
    if (!f.has(2))
        return;
    const std::string item = str(f[2]);
    if (kind == "p")
        raise([&](OrbTOCSockEvents& h) { h.PrivateBuddyAdded(item); });
    else if (kind == "d")
        raise([&](OrbTOCSockEvents& h) { h.BuddyBlocked(item); });
    else if (kind == "g")
        raise([&](OrbTOCSockEvents& h) { h.GroupAdded(item); });
}

void OrbTOCSock::handleChatInvite(std::string_view payload)
{
    const FieldList f = splitFields(payload, 5);
    const auto id = readInt32(f[2]);
    if (!id || !f.has(4))
        return;
    raise([&](OrbTOCSockEvents& h) { h.ChatInvite(str(f[1]), *id, str(f[3]), str(f[4])); });
}

void OrbTOCSock::handleDeleted2(std::string_view payload)
{
    const std::string_view kind = splitFields(payload, 3)[1];
    // Buddies and permitted users come with one more field than the server's other kinds.
    const FieldList f = splitFields(payload, kind == "b" || kind == "p" ? 4 : 3);
    if (kind == "b") {
        if (f.has(3))
            raise([&](OrbTOCSockEvents& h) { h.BuddyRemoved(str(f[3]), str(f[2])); });
        return;
    }
    if (!f.has(2))
        return;
    const std::string item = str(f[2]);
    if (kind == "p")
        raise([&](OrbTOCSockEvents& h) { h.PrivateBuddyRemoved(item); });
    else if (kind == "d")
        raise([&](OrbTOCSockEvents& h) { h.BuddyUnblocked(item); });
    else if (kind == "g")
        raise([&](OrbTOCSockEvents& h) { h.GroupRemoved(item); });
}

void OrbTOCSock::handleGotoUrl(std::string_view payload)
{
    const FieldList f = splitFields(payload, 3);
    if (!f.has(2))
        return;
    raise([&](OrbTOCSockEvents& h) { h.UserProfile(str(f[2])); });
}

void OrbTOCSock::handleEviled(std::string_view payload)
{
    const FieldList f = splitFields(payload, 3);
    const auto level = readInt16(f[1]);
    if (!level || !f.has(2))
        return;
    // Written back from the number, so "015" reaches the host as "15".
    raise([&](OrbTOCSockEvents& h) { h.Warned(std::to_string(*level), str(f[2])); });
}

void OrbTOCSock::handleRvousPropose(std::string_view payload)
{
    // Ten pieces leave field 8 whole and put whatever follows it, unused, in the last one.
    const FieldList f = splitFields(payload, 10);
    const auto port = readInt32(f[8]);
    if (!port)
        return;
    raise([&](OrbTOCSockEvents& h) {
        h.RendevousRequest(str(f[1]), str(f[2]), str(f[3]), str(f[5]), str(f[6]), str(f[7]), *port);
    });
}

void OrbTOCSock::handleClientEvent2(std::string_view payload)
{
    const FieldList f = splitFields(payload, 3);
    const auto status = readInt16(f[2]);
    if (!status)
        return;
    raise([&](OrbTOCSockEvents& h) { h.TypingStatus(str(f[1]), *status); });
}

} // namespace toc
