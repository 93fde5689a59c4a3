// Server bytes reach the control in reads cut as the first input byte says; a host that calls back
// in (and signs off on one event) must see the same frames and send the same bytes as when the
// bytes come whole. IM text goes through RemoveHtml on its way back.

#include "tests/support/fakesocket.h"
#include "toc/orbtocsock.h"

namespace {

struct Host : toc::OrbTOCSockEvents {
    toc::OrbTOCSock* c = nullptr;
    std::string log;
    void IncomingPacket(const std::string& bytes) override { log += bytes + '\x1f'; }
    void LoggedIn(const std::string&, const std::vector<std::string>&, const std::vector<std::string>&,
        const std::vector<std::string>&, const std::vector<std::string>&, const std::string&, std::int16_t) override
    {
        c->SetProfile("<b>idle</b>");
    }
    void JoinedChat(const std::string& name, std::int32_t id) override { c->SendChat(name, c->GetChatName(id), id); }
    void InstantMessage(const std::string& who, const std::string& text, bool, const std::string&) override
    {
        c->SendIM(who, c->RemoveHtml(text), true);
    }
    void PasswordChanged() override { c->LogOff(); }
};

std::string run(std::string_view bytes, std::size_t cut)
{
    Host host;
    auto owned = std::make_unique<testing_support::FakeSocket>();
    testing_support::FakeSocket& sock = *owned;
    toc::OrbTOCSock control(std::move(owned), &host);
    host.c = &control;
    control.Login("Fuzz User", "secret", "toc.test", 5190);
    sock.CompleteConnect();
    for (std::size_t size = 1; !bytes.empty(); size = cut ? size % cut + 1 : 1) {
        const std::size_t n = cut ? std::min(size, bytes.size()) : bytes.size();
        sock.Receive(bytes.substr(0, n));
        bytes.remove_prefix(n);
    }
    return host.log + '\x1e' + sock.AllSent();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (size > 0 && run(bytes.substr(1), 0) != run(bytes.substr(1), data[0]))
        __builtin_trap();
    return 0;
}
