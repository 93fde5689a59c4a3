// The inbound path as a host sees it: bytes from the socket, reassembly, dispatch, field cutting and
// events to a host that does nothing; against memcpy of the same bytes and against reassembly with
// a bare split of every message at every colon.

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <benchmark/benchmark.h>

#include "toc/flap.h"
#include "toc/orbtocsock.h"

namespace {

class MemorySocket : public toc::Socket {
public:
    void Connect(const std::string&, std::int32_t) override { }
    void Close() override { }
    void SendData(std::string_view bytes) override { sentBytes += bytes.size(); }
    std::string GetData() override
    {
        std::string out;
        out.swap(pending);
        return out;
    }
    toc::SocketState State() const override { return toc::SocketState::Connected; }

    std::string pending;
    std::size_t sentBytes = 0;
};

std::string frame(unsigned char type, std::uint16_t sequence, std::string_view payload)
{
    std::string f;
    f += '*';
    f += static_cast<char>(type);
    f += static_cast<char>(sequence >> 8);
    f += static_cast<char>(sequence & 0xff);
    f += static_cast<char>(payload.size() >> 8);
    f += static_cast<char>(payload.size() & 0xff);
    f += payload;
    return f;
}

struct Traffic {
    std::string stream;
    std::vector<std::string> reads; // as a socket would deliver them
    std::size_t bytes = 0;
    std::size_t frames = 0;
};

// A busy account: instant messages, buddy presence, a lively chat room, now and then a keep-alive.
Traffic serverMix(std::size_t frameCount, std::size_t readSize)
{
    std::mt19937 random(5190);
    std::string stream;
    for (std::size_t i = 0; i < frameCount; ++i) {
        const std::string n = std::to_string(i % 97);
        const auto seq = static_cast<std::uint16_t>(i);
        switch (random() % 20) {
        case 0:
            stream += frame(5, seq, "");
            break;
        case 1: case 2: case 3: case 4: case 5: case 6: case 7:
            stream += frame(2, seq,
                            "IM_IN_ENC2:alice" + n + ":F:T:T: O:F:L:en:<HTML><BODY BGCOLOR=\"#ffffff\"><FONT LANG=\"0\">"
                            "are you around later? need to ask you about the build: it broke at 10:30</FONT></BODY></HTML>");
            break;
        case 8: case 9: case 10: case 11: case 12:
            stream += frame(2, seq, "UPDATE_BUDDY2:bobby" + n + ":T:0:1165432101:" + n + ": O:0");
            break;
        default:
            stream += frame(2, seq, "CHAT_IN_ENC:3:carol" + n + ":F:A:en:<HTML>anyone seen the release notes? "
                                    "the link was https://example.test:8080/notes</HTML>");
            break;
        }
    }
    Traffic t;
    t.stream = stream;
    t.bytes = stream.size();
    t.frames = frameCount;
    for (std::size_t at = 0; at < stream.size(); at += readSize)
        t.reads.push_back(stream.substr(at, readSize));
    return t;
}

const Traffic& traffic()
{
    static const Traffic t = serverMix(20000, 4096);
    return t;
}

void report(benchmark::State& state, const Traffic& t)
{
    const auto iterations = static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<std::int64_t>(iterations * static_cast<double>(t.bytes)));
    state.counters["frames"]
        = benchmark::Counter(iterations * static_cast<double>(t.frames), benchmark::Counter::kIsRate);
}

void BM_Inbound(benchmark::State& state)
{
    const Traffic& t = traffic();
    auto socket = std::make_unique<MemorySocket>();
    MemorySocket* sock = socket.get();
    toc::OrbTOCSockEvents idleHost;
    toc::OrbTOCSock control(std::move(socket), &idleHost);
    for (auto _ : state) {
        for (const auto& read : t.reads) {
            sock->pending = read;
            sock->onDataArrival();
        }
    }
    benchmark::DoNotOptimize(sock->sentBytes);
    report(state, t);
}
BENCHMARK(BM_Inbound);

void BM_Memcpy(benchmark::State& state)
{
    const Traffic& t = traffic();
    std::string target(4096, '\0');
    for (auto _ : state) {
        for (const auto& read : t.reads) {
            std::memcpy(target.data(), read.data(), read.size());
            benchmark::ClobberMemory();
        }
    }
    report(state, t);
}
BENCHMARK(BM_Memcpy);

// The yardstick shared with the reassembly benchmark: the same bytes copied in 64 KiB buffers.
void BM_Memcpy64KiB(benchmark::State& state)
{
    const Traffic& t = traffic();
    std::string target(65536, '\0');
    for (auto _ : state) {
        for (std::size_t at = 0; at < t.stream.size(); at += target.size()) {
            const std::size_t n = std::min(target.size(), t.stream.size() - at);
            std::memcpy(target.data(), t.stream.data() + at, n);
            benchmark::ClobberMemory();
        }
    }
    report(state, t);
}
BENCHMARK(BM_Memcpy64KiB);

// The baseline: every frame cut, every message split at every colon into owned strings, as a
// straightforward parser would, and nothing dispatched.
void BM_ReassemblyAndBareColonSplit(benchmark::State& state)
{
    const Traffic& t = traffic();
    toc::FlapReader reader;
    std::size_t pieces = 0;
    for (auto _ : state) {
        for (const auto& read : t.reads) {
            reader.Feed(read, [&](std::string_view f) {
                const std::string_view payload = f.substr(toc::FlapHeaderSize);
                std::vector<std::string> fields;
                std::size_t start = 0;
                for (std::size_t colon = payload.find(':'); colon != std::string_view::npos;
                     colon = payload.find(':', start)) {
                    fields.emplace_back(payload.substr(start, colon - start));
                    start = colon + 1;
                }
                fields.emplace_back(payload.substr(start));
                pieces += fields.size();
                return true;
            });
        }
    }
    benchmark::DoNotOptimize(pieces);
    report(state, t);
}
BENCHMARK(BM_ReassemblyAndBareColonSplit);

} // namespace

BENCHMARK_MAIN();
