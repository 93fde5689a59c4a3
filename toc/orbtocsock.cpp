#include "toc/orbtocsock.h"

#include <stdexcept>
#include <utility>

#include "toc/encoding.h"

namespace toc {

namespace {
    // Only the space character is trimmed: a tab or line break in a host name is the caller's.
    std::string trimSpaces(std::string_view s)
    {
        const std::size_t first = s.find_first_not_of(' ');
        if (first == std::string_view::npos)
            return {};
        const std::size_t last = s.find_last_not_of(' ');
        return std::string(s.substr(first, last - first + 1));
    }

    constexpr std::int32_t LoggedOffPort = 5190;
    constexpr char Handshake[] = "FLAPON\n\n";
}

OrbTOCSock::OrbTOCSock(std::unique_ptr<Socket> sock, OrbTOCSockEvents* host)
    : Sock(std::move(sock))
    , mHost(host)
{
    if (!Sock)
        throw std::invalid_argument("OrbTOCSock needs a socket");
    Sock->onConnected = [this] { onSockConnected(); };
    Sock->onDataArrival = [this] { onSockDataArrival(); };
    Sock->onError = [this](const std::string& description) { onSockError(description); };
    Sock->onClosedByPeer = [this] { onSockClosedByPeer(); };
}

OrbTOCSock::~OrbTOCSock()
{
    // Unhook first so that nothing the socket does while closing can reach a half-destroyed
    // control.
    Sock->onConnected = nullptr;
    Sock->onDataArrival = nullptr;
    Sock->onError = nullptr;
    Sock->onClosedByPeer = nullptr;
    Sock->Close();
}

void OrbTOCSock::SetHost(OrbTOCSockEvents* host) { mHost = host; }

void OrbTOCSock::Login(const std::string& UserName, const std::string& Password,
    const std::string& TOCServer, std::int32_t Port, std::optional<std::string> AuthServer)
{
    ++mGeneration;
    emptyChatTable();
    // A new connection starts clean: bytes or configuration text of the last one, maybe of
    // another account, must not be put in front of this one's data.
    mRecvBuffer.Clear();
    mConfigBuffer.clear();

    std::string auth = AuthServer ? trimSpaces(*AuthServer) : std::string();
    if (auth.empty())
        auth = DefaultAuthServer;
    mUserName = NormalizeName(UserName);
    mPassword = RoastPassword(Password);
    mTOCServer = trimSpaces(TOCServer);
    mPort = Port;
    mAuthServer = std::move(auth);

    Sock->Close();
    // A copy: a socket that fails at once may reach a handler that calls Login again.
    const std::string host = mTOCServer;
    Sock->Connect(host, mPort);
}

void OrbTOCSock::LogOff()
{
    const std::uint64_t generation = ++mGeneration;
    emptyChatTable();
    Sock->Close();
    const std::string name = mUserName;
    raise([&](OrbTOCSockEvents& h) { h.LoggedOut(name); });
    // A handler that signed on again keeps its new session.
    if (generation != mGeneration)
        return;
    mUserName.clear();
    mPassword.clear();
    mAuthServer.clear();
    mTOCServer.clear();
    mPort = LoggedOffPort;
    mLastChatID = 0;
}

void OrbTOCSock::SendPacket(std::int16_t intChannel, std::string strData)
{
    if (Sock->State() != SocketState::Connected)
        return;
    // The header has one byte for the type and 16 bits for the length; a wrapped length would
    // throw the server's reading of the whole stream out of step.
    if (intChannel < 0 || intChannel > 255)
        return;
    if (intChannel == 2)
        strData.push_back('\0');
    if (strData.size() > 65535)
        return;
    if (mSendSeq > 65535)
        mSendSeq = 0;
    const std::string frame = BuildFlapFrame(
        static_cast<std::uint8_t>(intChannel), static_cast<std::uint16_t>(mSendSeq), strData);
    ++mSendSeq;
    Sock->SendData(frame);
}

std::string OrbTOCSock::RemoveHtml(std::string strMessage) const
{
    return toc::RemoveHtml(strMessage);
}

std::string OrbTOCSock::GetChatName(std::int32_t lngChatID) const
{
    for (const ChatSlot& slot : mChatTable) {
        if (slot.InUse && slot.ID == lngChatID)
            return slot.Name;
    }
    return "[No Chat Name Found for ID]";
}

std::int32_t OrbTOCSock::LastChatID() const { return mLastChatID; }

void OrbTOCSock::SetLastChatID(std::int32_t value) { mLastChatID = value; }

void OrbTOCSock::emptyChatTable()
{
    for (ChatSlot& slot : mChatTable)
        slot = ChatSlot {};
}

void OrbTOCSock::onSockConnected() { Sock->SendData(Handshake); }

void OrbTOCSock::onSockDataArrival()
{
    // A handler that runs a nested event loop (a modal dialog) can bring the socket's next
    // notification here before its frame is done. Leave those bytes in the socket: the outer call
    // reads them after its own frames, so frames keep their order and the held partial frame is
    // not overwritten. Once the handler has signed on again, the old bytes are dead and the new
    // connection's bytes need not wait for the handler.
    if (mReading && mReadingGeneration == mGeneration)
        return;
    struct Restore {
        bool& reading;
        std::uint64_t& generation;
        bool oldReading;
        std::uint64_t oldGeneration;
        ~Restore()
        {
            reading = oldReading;
            generation = oldGeneration;
        }
    } restore { mReading, mReadingGeneration, mReading, mReadingGeneration };
    mReading = true;

    // Every frame is handed on in this one buffer, which keeps its memory from frame to frame.
    // It belongs to this call alone: no handler can reach it, and a nested call has its own.
    std::string frameCopy;
    while (Sock->State() == SocketState::Connected) {
        const std::string bytes = Sock->GetData();
        if (bytes.empty())
            break;
        const std::uint64_t generation = mGeneration;
        mReadingGeneration = generation;
        // A handler that called Login or LogOff ended this connection: its remaining bytes are
        // dropped, not handed to the new session.
        mRecvBuffer.Feed(bytes, [&](std::string_view frame) {
            frameCopy.assign(frame);
            ProcessFrame(frameCopy);
            return generation == mGeneration;
        });
    }
}

void OrbTOCSock::onSockError(const std::string& description)
{
    const std::string text = description;
    const std::uint64_t generation = mGeneration;
    raise([&](OrbTOCSockEvents& h) { h.WinsockError(text); });
    // A handler that reconnected must not lose its new connection to this close.
    if (generation == mGeneration)
        Sock->Close();
}

void OrbTOCSock::onSockClosedByPeer()
{
    // Close before the event, so that a handler that reconnects is left alone afterwards.
    Sock->Close();
    const std::string text = "Connection closed by server";
    raise([&](OrbTOCSockEvents& h) { h.WinsockError(text); });
}

} // namespace toc
