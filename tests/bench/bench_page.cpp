// Page layout in the player window: ShowPage from the call to the pictures drawn, beside the
// decode that any program pays for the same pictures; texts without a break point; the memory a
// page of large pictures keeps, measured in a fresh process.
#include "benchmain.h"
#include "benchpictures.h"
#include "filetesting.h"
#include "player.h"
#include "textfile.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using testing_files::WriteBytes;

constexpr int kLargeWidth = 4000, kLargeHeight = 3000;

enum PageNumber : int {
    kJpegs81 = 1,       // three large JPEGs in 81 x 81 boxes
    kJpegs600 = 2,      // three other large JPEGs in 600 x 450 boxes
    kLongTexts = 3,     // three texts without a break point
    kShortTexts = 4,    // three texts of one character, to lay the long ones out anew
    kWordTexts = 5,     // three texts as long as the long ones, with a blank every eight bytes
    kMascots = 6,       // the fallback picture in 81 x 81 boxes
    kBmps81 = 7,        // three large bitmaps in 81 x 81 boxes
    kPicturesLast = 8,  // the pictures a memory measurement names
};

// Three picture files of one kind.
struct PictureSet {
    std::vector<std::string> paths;
    void Touch() const
    {
        for (const std::string& path : paths)
            bench::Touch(path);
    }
};

// Files stem1.ext to stem3.ext with the same bytes.
PictureSet WriteSet(const testing_files::ScratchFolder& folder, const std::string& stem, const std::string& ext,
                    const std::string& bytes)
{
    PictureSet set;
    for (int i = 1; i <= 3; ++i) {
        set.paths.push_back(folder / (stem + std::to_string(i) + ext));
        WriteBytes(set.paths.back(), bytes);
    }
    return set;
}

// Pictures i = 1..3 of page n, shown, in boxes of the given size side by side.
void SetPictures(int n, const std::vector<std::string>& files, int width, int height)
{
    for (int i = 1; i <= 3; ++i) {
        datag1& picture = Pages[n].Pictures[i];
        picture.FileName = files.empty() ? std::string() : files[static_cast<std::size_t>(i - 1)];
        picture.Visible = true;
        picture.Left = 8 + (i - 1) * (width + 8);
        picture.Top = 16;
        picture.Width = width;
        picture.Height = height;
    }
}

void SetTexts(int n, const std::string& text)
{
    for (int i = 1; i <= 3; ++i) {
        datat1& t = Pages[n].Texts[i];
        t.Text = text;
        t.Visible = true;
        t.Left = 104 + (i - 1) * 144;
        t.Top = 16;
        t.Width = 129;
        t.Height = 137;
    }
}

// The picture files the rows show, generated once: large ones of each kind, and ones as small
// as their boxes.
struct Files {
    testing_files::ScratchFolder folder;
    PictureSet jpegs81, jpegs600, bmps, emfs, smallJpegs, smallBmps, smallEmfs;
    Files()
    {
        const std::string jpeg = bench::EncodeJpeg(kLargeWidth, kLargeHeight);
        jpegs81 = WriteSet(folder, "a", ".jpg", jpeg);
        jpegs600 = WriteSet(folder, "b", ".jpg", jpeg);
        bmps = WriteSet(folder, "c", ".bmp", bench::EncodeBmp(kLargeWidth, kLargeHeight));
        emfs = WriteSet(folder, "d", ".emf", bench::EncodeEmfWithBitmap(kLargeWidth, kLargeHeight));
        smallJpegs = WriteSet(folder, "s", ".jpg", bench::EncodeJpeg(81, 81));
        smallBmps = WriteSet(folder, "s", ".bmp", bench::EncodeBmp(81, 81));
        smallEmfs = WriteSet(folder, "s", ".emf", bench::EncodeEmfWithBitmap(81, 81));
        // Saved long ago, as the pictures of a work are: a file saved a moment ago is never
        // kept decoded.
        for (const PictureSet* set : {&jpegs81, &jpegs600, &bmps, &emfs, &smallJpegs, &smallBmps, &smallEmfs})
            set->Touch();
    }
};

Files& TheFiles()
{
    static Files files;
    return files;
}

// The player window, shown at a size that holds three 600 x 450 boxes, and the page table the
// rows show.
struct Stage {
    const Files& files = TheFiles();
    TPlayerWindow* window = nullptr;

    Stage()
    {
        window = new TPlayerWindow(Application, 0, 0);
        window->SetBounds(0, 0, 1850, 520);
        window->Show();
        Application->ProcessMessages();
    }

    // The pages, set again for every row: the work-file rows share the page table.
    void SetPages() const
    {
        ResetAllPages();
        StartFolder = std::string(PAGORA_RESOURCES_DIR) + "/";
        SetPictures(kJpegs81, files.jpegs81.paths, 81, 81);
        SetPictures(kJpegs600, files.jpegs600.paths, 600, 450);
        SetPictures(kBmps81, files.bmps.paths, 81, 81);
        SetPictures(kMascots, {}, 81, 81);
        SetTexts(kShortTexts, "x");
    }
};

Stage& TheStage()
{
    static Stage stage;
    stage.SetPages();
    return stage;
}

void ShowAndDraw(int n)
{
    ShowPage(n);
    PlayerWindow->Repaint();
}

// ---------------------------------------------------------------------------------------------
// Pages of pictures. Each show but the re-show meets files saved anew, as a page of new pictures
// does (the decoded pictures kept from the last show would be taken instead).

void ShowPictures(benchmark::State& state, const PictureSet& set, int page)
{
    for (auto _ : state) {
        state.PauseTiming();
        set.Touch();
        ShowAndDraw(kMascots);
        state.ResumeTiming();
        ShowAndDraw(page);
    }
}

void DecodeJpegs(benchmark::State& state, const PictureSet& set, int denominator)
{
    for (auto _ : state)
        for (const std::string& path : set.paths)
            bench::DecodeWithLibjpeg(path, denominator);
}

void JpegPage81(benchmark::State& state) { ShowPictures(state, TheStage().files.jpegs81, kJpegs81); }
void JpegPage81Floor(benchmark::State& state) { DecodeJpegs(state, TheStage().files.jpegs81, 8); }
void JpegPage600(benchmark::State& state) { ShowPictures(state, TheStage().files.jpegs600, kJpegs600); }
void JpegPage600Floor(benchmark::State& state) { DecodeJpegs(state, TheStage().files.jpegs600, 4); }
BENCHMARK(JpegPage81)->Name("ShowPage/Jpeg4000x3000in81x81")->Unit(benchmark::kMillisecond);
BENCHMARK(JpegPage81Floor)->Name("ShowPage/Jpeg4000x3000in81x81/floor")->Unit(benchmark::kMillisecond);
BENCHMARK(JpegPage600)->Name("ShowPage/Jpeg4000x3000in600x450")->Unit(benchmark::kMillisecond);
BENCHMARK(JpegPage600Floor)->Name("ShowPage/Jpeg4000x3000in600x450/floor")->Unit(benchmark::kMillisecond);

// Bitmaps, beside reading the bytes of their files.
void BmpPage81(benchmark::State& state) { ShowPictures(state, TheStage().files.bmps, kBmps81); }
void ReadBmps(benchmark::State& state)
{
    for (auto _ : state)
        for (const std::string& path : TheStage().files.bmps.paths)
            benchmark::DoNotOptimize(tk::ReadFileBytes(path).data());
}
BENCHMARK(BmpPage81)->Name("ShowPage/Bmp4000x3000in81x81")->Unit(benchmark::kMillisecond);
BENCHMARK(ReadBmps)->Name("ShowPage/Bmp4000x3000in81x81/floor")->Unit(benchmark::kMillisecond);

// The page after a page whose boxes were smaller: the old pictures are about to be replaced.
void JpegPageAfterSmallerBoxes(benchmark::State& state)
{
    Stage& stage = TheStage();
    for (auto _ : state) {
        state.PauseTiming();
        stage.files.jpegs81.Touch();
        stage.files.jpegs600.Touch();
        ShowAndDraw(kJpegs81);
        state.ResumeTiming();
        ShowAndDraw(kJpegs600);
    }
}
BENCHMARK(JpegPageAfterSmallerBoxes)->Name("ShowPage/JpegAfterOtherBoxes")->Unit(benchmark::kMillisecond);
BENCHMARK(JpegPage600Floor)->Name("ShowPage/JpegAfterOtherBoxes/floor")->Unit(benchmark::kMillisecond);

// The same page again, as a link to it or the layout after each activation shows it: the
// floor is drawing the window as it stands.
void JpegPageAgain(benchmark::State& state)
{
    TheStage();
    ShowAndDraw(kJpegs81);
    for (auto _ : state)
        ShowAndDraw(kJpegs81);
}
void RedrawOnly(benchmark::State& state)
{
    TheStage();
    ShowAndDraw(kJpegs81);
    for (auto _ : state)
        PlayerWindow->Repaint();
}
BENCHMARK(JpegPageAgain)->Name("ShowPage/SamePageAgain")->Unit(benchmark::kMillisecond);
BENCHMARK(RedrawOnly)->Name("ShowPage/SamePageAgain/floor")->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------------------------------------
// Texts: three of state.range(0) bytes without a break point, beside as many bytes of words.

void ShowTexts(benchmark::State& state, int page, const std::string& text)
{
    TheStage();
    SetTexts(page, text);
    for (auto _ : state) {
        state.PauseTiming();
        ShowAndDraw(kShortTexts);
        state.ResumeTiming();
        ShowAndDraw(page);
    }
}

void LongTexts(benchmark::State& state)
{
    ShowTexts(state, kLongTexts, std::string(static_cast<std::size_t>(state.range(0)), 'a'));
}
void WordTexts(benchmark::State& state)
{
    std::string words(static_cast<std::size_t>(state.range(0)), 'a');
    for (std::size_t i = 7; i < words.size(); i += 8)
        words[i] = ' ';
    ShowTexts(state, kWordTexts, words);
}
BENCHMARK(LongTexts)->Name("ShowPage/TextsWithoutBreaks")->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK(WordTexts)->Name("ShowPage/TextsWithoutBreaks/floor")->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------------------------------------
// Memory a page of large pictures adds, each measured in a fresh process (this program started
// again with kResidentChildFlag), beside the same page of pictures as small as their boxes.

// Runs this program on the three files and reads back what it printed: the resident and peak
// megabytes the page added.
void MeasureInChild(benchmark::State& state, const PictureSet& set)
{
    for (auto _ : state) {
        int pipeEnds[2];
        if (pipe(pipeEnds) != 0)
            throw std::runtime_error("pipe");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
        std::vector<std::string> args = {"/proc/self/exe", kResidentChildFlag};
        args.insert(args.end(), set.paths.begin(), set.paths.end());
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        pid_t child = 0;
        const int spawned = posix_spawn(&child, "/proc/self/exe", &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(pipeEnds[1]);
        std::string output;
        char buffer[256];
        for (ssize_t n; (n = read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
            output.append(buffer, static_cast<std::size_t>(n));
        close(pipeEnds[0]);
        int status = 0;
        if (spawned == 0)
            waitpid(child, &status, 0);
        double added = 0, peak = 0;
        if (spawned != 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0 ||
            std::sscanf(output.c_str(), "%lf %lf", &added, &peak) != 2) {
            state.SkipWithError("the measuring process failed");
            return;
        }
        state.counters[kResidentCounter] = added;
        state.counters["peak_MB"] = peak;
    }
}

void MemoryJpeg(benchmark::State& state) { MeasureInChild(state, TheFiles().jpegs81); }
void MemoryJpegFloor(benchmark::State& state) { MeasureInChild(state, TheFiles().smallJpegs); }
void MemoryBmp(benchmark::State& state) { MeasureInChild(state, TheFiles().bmps); }
void MemoryBmpFloor(benchmark::State& state) { MeasureInChild(state, TheFiles().smallBmps); }
void MemoryEmf(benchmark::State& state) { MeasureInChild(state, TheFiles().emfs); }
void MemoryEmfFloor(benchmark::State& state) { MeasureInChild(state, TheFiles().smallEmfs); }
BENCHMARK(MemoryJpeg)->Name("Memory/PageOfJpeg4000x3000in81x81")->Iterations(1);
BENCHMARK(MemoryJpegFloor)->Name("Memory/PageOfJpeg4000x3000in81x81/floor")->Iterations(1);
BENCHMARK(MemoryBmp)->Name("Memory/PageOfBmp4000x3000in81x81")->Iterations(1);
BENCHMARK(MemoryBmpFloor)->Name("Memory/PageOfBmp4000x3000in81x81/floor")->Iterations(1);
BENCHMARK(MemoryEmf)->Name("Memory/PageOfEmfBitmap4000x3000in81x81")->Iterations(1);
BENCHMARK(MemoryEmfFloor)->Name("Memory/PageOfEmfBitmap4000x3000in81x81/floor")->Iterations(1);

} // namespace

int ResidentAfterPage(int fileCount, char** files)
{
    if (fileCount != 3)
        return 2;
    ResetAllPages();
    StartFolder = std::string(PAGORA_RESOURCES_DIR) + "/";
    SetPictures(kMascots, {}, 81, 81);
    SetPictures(kPicturesLast, {files[0], files[1], files[2]}, 81, 81);
    auto* window = new TPlayerWindow(Application, 0, 0);
    window->Show();
    Application->ProcessMessages();
    ShowAndDraw(kMascots);
    Application->ProcessMessages();
    const double before = ResidentMegabytes("VmRSS");
    ShowAndDraw(kPicturesLast);
    Application->ProcessMessages();
    std::printf("%.2f %.2f\n", ResidentMegabytes("VmRSS") - before, ResidentMegabytes("VmHWM") - before);
    return 0;
}
