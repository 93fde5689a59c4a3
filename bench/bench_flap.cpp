// FLAP reassembly against memcpy of the same bytes in the same reads: the ratio of the two
// bytes_per_second figures is the cost of cutting frames.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "toc/flap.h"

namespace {

std::string frame(char type, const std::string& payload)
{
    std::string f = "*";
    f += type;
    f += '\0';
    f += '\0';
    f += static_cast<char>((payload.size() >> 8) & 0xff);
    f += static_cast<char>(payload.size() & 0xff);
    return f + payload;
}

// What a busy account receives: messages, buddy updates, chat lines and keep-alives.
std::string serverMix(std::size_t atLeast)
{
    const std::string frames[] = {
        frame(2,
            "IM_IN_ENC2:SomeBuddy:F:F:T: ,:F:L:en:<HTML><BODY>hey, are you there? "
            "<FONT COLOR=\"#0000ff\">call me</FONT></BODY></HTML>"),
        frame(2, "UPDATE_BUDDY2:Some Buddy:T:0:1700000000:0: O:0"),
        frame(2, "CHAT_IN_ENC:1234:chatter01:F:A:en:lol that is what I said: twice"),
        frame(5, ""),
        frame(2, "UPDATE_BUDDY2:another one:F:0:0:0: O:0"),
        frame(2, "IM_IN_ENC2:x:F:F:F: ,:F:L:en:ok"),
    };
    std::string out;
    while (out.size() < atLeast) {
        for (const auto& f : frames)
            out += f;
    }
    return out;
}

std::string bigFrames(std::size_t atLeast)
{
    std::string out;
    const std::string one = frame(2, std::string(8192 - 6, 'b'));
    while (out.size() < atLeast)
        out += one;
    return out;
}

std::string keepAlives(std::size_t bytes)
{
    std::string out;
    const std::string one = frame(5, "");
    while (out.size() + one.size() <= bytes)
        out += one;
    return out;
}

std::vector<std::string_view> randomReads(const std::string& stream, std::size_t largest)
{
    std::mt19937 rng(20261206);
    std::uniform_int_distribution<std::size_t> size(1, largest);
    std::vector<std::string_view> reads;
    for (std::size_t at = 0; at < stream.size();) {
        const std::size_t n = std::min(size(rng), stream.size() - at);
        reads.push_back(std::string_view(stream).substr(at, n));
        at += n;
    }
    return reads;
}

std::vector<std::string_view> fixedReads(const std::string& stream, std::size_t n)
{
    std::vector<std::string_view> reads;
    for (std::size_t at = 0; at < stream.size(); at += n)
        reads.push_back(std::string_view(stream).substr(at, n));
    return reads;
}

// With copyOut, each frame is copied into its own string, as the control does before handing
// it on.
void reassemble(benchmark::State& state, const std::string& stream,
    const std::vector<std::string_view>& reads, bool copyOut = false)
{
    std::size_t frames = 0;
    for (auto _ : state) {
        toc::FlapReader reader;
        for (const auto read : reads) {
            reader.Feed(read, [&](std::string_view f) {
                if (copyOut) {
                    std::string owned(f);
                    benchmark::DoNotOptimize(owned.data());
                } else {
                    benchmark::DoNotOptimize(f.data());
                }
                ++frames;
                return true;
            });
        }
        benchmark::ClobberMemory();
    }
    benchmark::DoNotOptimize(frames);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
}

void copy(
    benchmark::State& state, const std::string& stream, const std::vector<std::string_view>& reads)
{
    std::vector<char> sink(65536);
    for (auto _ : state) {
        for (const auto read : reads) {
            std::memcpy(sink.data(), read.data(), read.size());
            benchmark::DoNotOptimize(sink.data());
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
}

const std::string& mix()
{
    static const std::string s = serverMix(1 << 20);
    return s;
}
const std::vector<std::string_view>& mixReads()
{
    static const auto r = randomReads(mix(), 4096);
    return r;
}
const std::string& big()
{
    static const std::string s = bigFrames(1 << 20);
    return s;
}
const std::vector<std::string_view>& bigReads()
{
    static const auto r = randomReads(big(), 4096);
    return r;
}
const std::string& tiny()
{
    static const std::string s = keepAlives(65536);
    return s;
}

void BM_Reassembly_SmallFrames_RandomReads(benchmark::State& s)
{
    reassemble(s, mix(), mixReads());
}
void BM_ReassemblyCopyOut_SmallFrames_RandomReads(benchmark::State& s)
{
    reassemble(s, mix(), mixReads(), true);
}
void BM_Memcpy_SmallFrames_RandomReads(benchmark::State& s) { copy(s, mix(), mixReads()); }
void BM_Reassembly_8KiBFrames_RandomReads(benchmark::State& s) { reassemble(s, big(), bigReads()); }
void BM_ReassemblyCopyOut_8KiBFrames_RandomReads(benchmark::State& s)
{
    reassemble(s, big(), bigReads(), true);
}
void BM_Memcpy_8KiBFrames_RandomReads(benchmark::State& s) { copy(s, big(), bigReads()); }

// Linearity: many tiny frames in one 64 KiB read must cost per byte what they cost in 4 KiB reads.
void BM_Reassembly_KeepAlives_One64KiBRead(benchmark::State& s)
{
    static const auto reads = fixedReads(tiny(), 65536);
    reassemble(s, tiny(), reads);
}
void BM_Reassembly_KeepAlives_4KiBReads(benchmark::State& s)
{
    static const auto reads = fixedReads(tiny(), 4096);
    reassemble(s, tiny(), reads);
}
void BM_Memcpy_KeepAlives_One64KiBRead(benchmark::State& s)
{
    static const auto reads = fixedReads(tiny(), 65536);
    copy(s, tiny(), reads);
}

// The yardstick every throughput here is compared with: copying the stream in 64 KiB buffers.
void BM_Memcpy_64KiB(benchmark::State& s)
{
    static const auto reads = fixedReads(mix(), 65536);
    copy(s, mix(), reads);
}

BENCHMARK(BM_Memcpy_64KiB);
BENCHMARK(BM_Reassembly_SmallFrames_RandomReads);
BENCHMARK(BM_ReassemblyCopyOut_SmallFrames_RandomReads);
BENCHMARK(BM_Memcpy_SmallFrames_RandomReads);
BENCHMARK(BM_Reassembly_8KiBFrames_RandomReads);
BENCHMARK(BM_ReassemblyCopyOut_8KiBFrames_RandomReads);
BENCHMARK(BM_Memcpy_8KiBFrames_RandomReads);
BENCHMARK(BM_Reassembly_KeepAlives_One64KiBRead);
BENCHMARK(BM_Reassembly_KeepAlives_4KiBReads);
BENCHMARK(BM_Memcpy_KeepAlives_One64KiBRead);

} // namespace

BENCHMARK_MAIN();
