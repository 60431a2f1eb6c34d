// Reading and writing a full work of 200 pages with several lines in every text, beside reading
// the same file's bytes once (the floor any reader stands on).
#include "filetesting.h"
#include "textfile.h"
#include "workfile.h"

#include <benchmark/benchmark.h>

namespace {

struct BenchWork {
    BenchWork()
    {
        ResetAllPages();
        for (int page = 1; page <= PageCount; ++page) {
            for (int i = 1; i <= 3; ++i) {
                Pages[page].Pictures[i].FileName = "C:\\さくひん\\え" + std::to_string(page) + ".bmp";
                Pages[page].Pictures[i].Link = page % 7 - 3;
                datat1& text = Pages[page].Texts[i];
                text.Text.clear();
                for (int line = 0; line < 6; ++line)
                    text.Text += (line ? "\r\n" : "") + std::string("むかしむかし あるところに ") + std::to_string(line);
                text.FontColor = -2147483640;
            }
            Pages[page].SoundFile = "C:\\おと\\s.wav";
        }
        WriteWorkFile(path, NameAsHeld, DefaultWorkWidth, DefaultWorkHeight);
    }
    testing_files::ScratchFolder scratch;
    const std::string path = scratch / "bench.kse";
};

BenchWork& Work()
{
    static BenchWork work;
    return work;
}

void BM_ReadFileBytes(benchmark::State& state)
{
    const std::string& path = Work().path;
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::string data = tk::ReadFileBytes(path);
        bytes = data.size();
        benchmark::DoNotOptimize(data.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_ReadFileBytes)->Name("ReadWorkFile/floor");

void BM_ReadWorkFile(benchmark::State& state)
{
    const std::string& path = Work().path;
    for (auto _ : state)
        ReadWorkFile(path);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * tk::ReadFileBytes(path).size()));
}
BENCHMARK(BM_ReadWorkFile)->Name("ReadWorkFile");

// Includes flushing the new file to disk before the rename, which is most of its time.
void BM_WriteWorkFile(benchmark::State& state)
{
    const std::string& path = Work().path;
    for (auto _ : state)
        WriteWorkFile(path, NameAsHeld, DefaultWorkWidth, DefaultWorkHeight);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * tk::ReadFileBytes(path).size()));
}
BENCHMARK(BM_WriteWorkFile)->Name("WriteWorkFile");

void BM_WriteWorkFileWithBaseNames(benchmark::State& state)
{
    const std::string& path = Work().path;
    for (auto _ : state)
        WriteWorkFile(path, BaseName, DefaultWorkWidth, DefaultWorkHeight);
}
BENCHMARK(BM_WriteWorkFileWithBaseNames)->Name("WriteWorkFile/BaseNames");

} // namespace
