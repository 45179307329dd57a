// Throughput of line reading on file streams and typed reads on memory streams.
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include <corvex/stream/stream.h>

namespace {

// 10000 lines of 40 characters in a temporary file.
std::string MakeLineFile() {
    char path[] = "/tmp/corvex-stream-bench-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) return {};
    std::string line(40, 'x');
    line += "\r\n";
    std::string all;
    for (int i = 0; i < 10000; ++i) all += line;
    if (write(fd, all.data(), all.size()) != static_cast<ssize_t>(all.size())) all.clear();
    close(fd);
    return path;
}

void BM_ReadLineFromFile(benchmark::State& state) {
    const std::string path = MakeLineFile();
    int64_t bytes = 0;
    for (auto _ : state) {
        auto s = corvex::ReadUrlStream(path);
        while (!s->Eof()) benchmark::DoNotOptimize(s->ReadLine());
        bytes += s->Size();
        s->Close();
    }
    state.SetBytesProcessed(bytes);
    std::remove(path.c_str());
}
BENCHMARK(BM_ReadLineFromFile);

void BM_ReadIntFromMemory(benchmark::State& state) {
    std::vector<uint8_t> data(1 << 16, 0x5A);
    int64_t bytes = 0;
    for (auto _ : state) {
        auto s = corvex::TRamStream::Create(static_cast<const void*>(data.data()), static_cast<int32_t>(data.size()), true);
        int32_t sum = 0;
        while (!s->Eof()) sum ^= s->ReadInt();
        benchmark::DoNotOptimize(sum);
        bytes += static_cast<int64_t>(data.size());
    }
    state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_ReadIntFromMemory);

void BM_LoadByteArrayFromFile(benchmark::State& state) {
    const std::string path = MakeLineFile();
    int64_t bytes = 0;
    for (auto _ : state) {
        auto data = corvex::LoadByteArray(path);
        bytes += static_cast<int64_t>(data.size());
        benchmark::DoNotOptimize(data.data());
    }
    state.SetBytesProcessed(bytes);
    std::remove(path.c_str());
}
BENCHMARK(BM_LoadByteArrayFromFile);

}  // namespace

BENCHMARK_MAIN();
