// Page sounds: the media player control and its reports, the player's sound step and sound
// keeper, and opening sounds through the desktop.
//
// Sounds are written by the tests (a sine wave in a WAV file, a MIDI tune, a tiny
// uncompressed AVI) and play in real time into fake sinks; "xdg-open" is a script put first
// on PATH that records the folder it was started in and its arguments.
#include "edunit3.h"
#include "playerprogram.h"
#include "filetesting.h"
#include "modal.h"
#include "mplayer.h"
#include "uiprobe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using probe::WaitFor;
using testing_files::ScratchFolder;

// ---------------------------------------------------------------------------------------------
// Media files

class Bytes {
public:
    Bytes& Tag(const char (&fourcc)[5])
    {
        data_.append(fourcc, 4);
        return *this;
    }
    Bytes& U16(unsigned v) { return Little(v, 2); }
    Bytes& U32(std::uint32_t v) { return Little(v, 4); }
    Bytes& Raw(const std::string& bytes)
    {
        data_ += bytes;
        return *this;
    }
    // A RIFF chunk around the bytes of body; a LIST is one whose body starts with its type.
    Bytes& Chunk(const char (&fourcc)[5], const Bytes& body)
    {
        Tag(fourcc).U32(static_cast<std::uint32_t>(body.data_.size())).Raw(body.data_);
        if (body.data_.size() % 2)
            data_ += '\0';
        return *this;
    }
    Bytes& List(const char (&listType)[5], const Bytes& body) { return Chunk("LIST", Bytes().Tag(listType).Raw(body.data_)); }
    const std::string& Data() const { return data_; }
    std::size_t Size() const { return data_.size(); }

private:
    Bytes& Little(std::uint32_t v, int n)
    {
        for (int i = 0; i < n; ++i)
            data_ += static_cast<char>((v >> (8 * i)) & 0xFF);
        return *this;
    }
    std::string data_;
};

// A sine tone of the given length: 16-bit mono PCM at 8000 samples a second.
void WriteWav(const std::string& path, int milliseconds)
{
    const int rate = 8000;
    const int samples = rate * milliseconds / 1000;
    Bytes pcm;
    for (int i = 0; i < samples; ++i)
        pcm.U16(static_cast<std::uint16_t>(static_cast<std::int16_t>(8000 * std::sin(2 * M_PI * 440 * i / rate))));
    Bytes wave;
    wave.Tag("WAVE").Chunk("fmt ", Bytes().U16(1).U16(1).U32(rate).U32(rate * 2).U16(2).U16(16)).Chunk("data", pcm);
    testing_files::WriteBytes(path, Bytes().Chunk("RIFF", wave).Data());
}

// One note of half a second on the piano: format 0, 96 ticks a quarter note, 120 beats a
// minute.
void WriteMidi(const std::string& path)
{
    testing_files::WriteBytes(path, std::string("MThd\x00\x00\x00\x06\x00\x00\x00\x01\x00\x60"
                                                "MTrk\x00\x00\x00\x16"
                                                "\x00\xFF\x51\x03\x07\xA1\x20" // tempo
                                                "\x00\xC0\x00"                 // piano
                                                "\x00\x90\x3C\x64\x60\x80\x3C\x40" // middle C
                                                "\x00\xFF\x2F\x00",             // end of track
                                                44));
}

// Five uncompressed 8 x 8 frames at ten frames a second, without sound.
void WriteAvi(const std::string& path)
{
    const int width = 8, height = 8, frames = 5, frameBytes = width * height * 3;
    Bytes avih;
    avih.U32(100000).U32(frameBytes * 10).U32(0).U32(0x10).U32(frames).U32(0).U32(1).U32(frameBytes);
    avih.U32(width).U32(height).U32(0).U32(0).U32(0).U32(0);
    Bytes strh;
    strh.Tag("vids").Tag("DIB ").U32(0).U16(0).U16(0).U32(0).U32(1).U32(10).U32(0).U32(frames);
    strh.U32(frameBytes).U32(0xFFFFFFFF).U32(0).U16(0).U16(0).U16(width).U16(height);
    Bytes strf;
    strf.U32(40).U32(width).U32(height).U16(1).U16(24).U32(0).U32(frameBytes).U32(0).U32(0).U32(0).U32(0);
    Bytes movi;
    Bytes index;
    for (int f = 0; f < frames; ++f) {
        index.Tag("00db").U32(0x10).U32(static_cast<std::uint32_t>(4 + movi.Size())).U32(frameBytes);
        movi.Chunk("00db", Bytes().Raw(std::string(frameBytes, static_cast<char>(40 * f))));
    }
    Bytes hdrl;
    hdrl.Chunk("avih", avih).List("strl", Bytes().Chunk("strh", strh).Chunk("strf", strf));
    Bytes avi;
    avi.Tag("AVI ").List("hdrl", hdrl).List("movi", movi).Chunk("idx1", index);
    testing_files::WriteBytes(path, Bytes().Chunk("RIFF", avi).Data());
}

// Media players of the tests play in real time into sinks that make no sound and open no
// window.
void UseFakeSinks() { tk::SetMediaSinks("fakesink sync=true", "fakesink sync=true"); }

// Records the reports of a media player as they arrive.
struct Reports {
    explicit Reports(TMediaPlayer& player)
    {
        player.OnNotify = [this, &player](TObject*) { values.push_back(player.NotifyValue()); };
    }
    // Waits until count reports have come.
    bool WaitForCount(std::size_t count, int timeoutMs = 5000) const
    {
        return WaitFor([&] { return values.size() >= count; }, timeoutMs);
    }
    std::vector<int> values;
};

// ---------------------------------------------------------------------------------------------
// The media player control

class MediaPlayer : public ::testing::Test {
protected:
    static void SetUpTestSuite() { UseFakeSinks(); }

    std::string Wav(const std::string& name, int milliseconds)
    {
        const std::string path = folder_ / name;
        WriteWav(path, milliseconds);
        return path;
    }

    void Open(const std::string& path)
    {
        player_.SetFileName(tk::FromUtf8(path));
        player_.Open();
    }

    ScratchFolder folder_;
    TMediaPlayer player_{nullptr};
    Reports reports_{player_};
};

TEST_F(MediaPlayer, FailedOpensRaiseSayWhyAndLeaveNothingOpen)
{
    const std::string good = Wav("good.wav", 3000);
    const std::string text = folder_ / "text.wav";
    testing_files::WriteBytes(text, "これは おとでは ありません");
    EXPECT_EQ(player_.NotifyValue(), nvSuccessful);

    struct Case {
        std::string file;
        const char* reason;
    };
    for (const Case& c : {Case{folder_ / "missing.wav", "ファイルが ありません"},
                          Case{text, "この しゅるいの ファイルは ならせません"},
                          Case{folder_.Path().string(), "ファイルを よめません"}, Case{"", "ファイルの なまえが ありません"}}) {
        SCOPED_TRACE(c.file);
        Open(good);
        ASSERT_EQ(player_.Mode(), mpStopped);
        player_.SetFileName(tk::FromUtf8(c.file));
        try {
            player_.Open();
            ADD_FAILURE() << "opened";
        } catch (const EMediaError& error) {
            const AnsiString expected = "「" + tk::FromUtf8(c.file) + "」を ひらけません（" + c.reason + "）";
            EXPECT_EQ(error.Message, expected) << tk::ToUtf8(error.Message);
        }
        // The good file was closed first, and nothing else is open.
        EXPECT_EQ(player_.Mode(), mpNotReady);
        EXPECT_THROW(player_.Play(), EMediaError);
    }
    // No command asked for a report.
    EXPECT_TRUE(reports_.values.empty());
}

TEST_F(MediaPlayer, PlayReturnsAtOnceReportsItsEndAndStartsOverFromTheEnd)
{
    Open(Wav("short.wav", 300));
    EXPECT_EQ(player_.Length(), 300);

    player_.Play();
    EXPECT_EQ(player_.Mode(), mpPlaying);
    EXPECT_TRUE(reports_.values.empty());
    ASSERT_TRUE(reports_.WaitForCount(1));
    EXPECT_EQ(reports_.values, std::vector<int>{nvSuccessful});
    EXPECT_EQ(player_.Mode(), mpStopped);

    // At the end, play starts from the beginning again and ends again.
    player_.Play();
    EXPECT_EQ(player_.Mode(), mpPlaying);
    EXPECT_LT(player_.Position(), 150);
    ASSERT_TRUE(reports_.WaitForCount(2));
    EXPECT_EQ(reports_.values.back(), nvSuccessful);
}

TEST_F(MediaPlayer, AReportStillPendingIsSupersededByTheNextCommandThatAsksForOne)
{
    Open(Wav("long.wav", 4000));
    player_.Play();
    ASSERT_TRUE(WaitFor([&] { return player_.Position() >= 100; }));

    // A play while playing carries on where it is; the earlier play comes back superseded.
    const long long before = player_.Position();
    player_.Play();
    ASSERT_TRUE(reports_.WaitForCount(1));
    EXPECT_EQ(reports_.values, std::vector<int>{nvSuperseded});
    EXPECT_EQ(player_.Mode(), mpPlaying);
    EXPECT_GE(player_.Position(), before);

    // A close that asks for a report supersedes the play, then reports its own success.
    player_.SetNotify(true);
    player_.Close();
    EXPECT_FALSE(player_.Notify());
    EXPECT_EQ(player_.Mode(), mpNotReady);
    ASSERT_TRUE(reports_.WaitForCount(3));
    EXPECT_EQ(reports_.values, (std::vector<int>{nvSuperseded, nvSuperseded, nvSuccessful}));

    // A close without the request aborts the play.
    reports_.values.clear();
    Open(folder_ / "long.wav");
    player_.Play();
    player_.Close();
    ASSERT_TRUE(reports_.WaitForCount(1));
    EXPECT_EQ(reports_.values, std::vector<int>{nvAborted});
    EXPECT_EQ(player_.NotifyValue(), nvAborted);

    // An open that asks for a report closes the playing file (superseded) and reports its own
    // success; a failed one reports nothing of its own.
    reports_.values.clear();
    Open(folder_ / "long.wav");
    player_.Play();
    player_.SetNotify(true);
    Open(folder_ / "long.wav");
    EXPECT_FALSE(player_.Notify());
    ASSERT_TRUE(reports_.WaitForCount(2));
    EXPECT_EQ(reports_.values, (std::vector<int>{nvSuperseded, nvSuccessful}));
    player_.Play();
    player_.SetNotify(true);
    player_.SetFileName(tk::FromUtf8(folder_ / "missing.wav"));
    EXPECT_THROW(player_.Open(), EMediaError);
    EXPECT_FALSE(player_.Notify());
    ASSERT_TRUE(reports_.WaitForCount(3));
    EXPECT_EQ(reports_.values.back(), nvSuperseded);
}

TEST_F(MediaPlayer, AnEndNotYetReportedIsASuccessEvenWhenTheNextPlayComesFirst)
{
    Open(Wav("short.wav", 200));
    player_.Play();
    // The end has come on the streaming side; its report has not been handed over yet.
    ASSERT_TRUE(WaitFor([&] { return player_.Mode() == mpStopped; }));
    player_.Play();
    player_.Close();
    ASSERT_TRUE(reports_.WaitForCount(2));
    EXPECT_EQ(reports_.values, (std::vector<int>{nvSuccessful, nvAborted}));
}

TEST_F(MediaPlayer, MidiAndVideoFilesPlayToTheirEnd)
{
    const std::string midi = folder_ / "tune.mid";
    WriteMidi(midi);
    const std::string avi = folder_ / "clip.avi";
    WriteAvi(avi);
    for (const std::string& file : {midi, avi}) {
        SCOPED_TRACE(file);
        reports_.values.clear();
        Open(file);
        EXPECT_GT(player_.Length(), 0);
        player_.Play();
        ASSERT_TRUE(reports_.WaitForCount(1));
        EXPECT_EQ(reports_.values, std::vector<int>{nvSuccessful});
    }
}

TEST_F(MediaPlayer, MidiPlaysNearTheLevelOfAWavFile)
{
    // One piano note through the synthesiser, its samples into a file.
    const std::string midi = folder_ / "note.mid";
    WriteMidi(midi);
    const std::string samples = folder_ / "note.raw";
    tk::SetMediaSinks("audioconvert ! audio/x-raw,format=S16LE ! filesink sync=false location=\"" + samples + "\"",
                      "fakesink");
    Open(midi);
    player_.Play();
    const bool ended = reports_.WaitForCount(1);
    player_.Close();
    UseFakeSinks();
    ASSERT_TRUE(ended);
    const std::string pcm = testing_files::ReadBytes(samples);
    int peak = 1;
    for (std::size_t i = 0; i + 1 < pcm.size(); i += 2)
        peak = std::max(peak, std::abs(static_cast<std::int16_t>(static_cast<unsigned char>(pcm[i]) |
                                                                 static_cast<unsigned char>(pcm[i + 1]) << 8)));
    // The synthesiser's own gain leaves this note's peak near -32 dBFS.
    const double dbfs = 20 * std::log10(peak / 32768.0);
    EXPECT_GT(dbfs, -26) << dbfs;
    EXPECT_LT(dbfs, -6) << dbfs;
}

// ---------------------------------------------------------------------------------------------
// The shell stand-in

// Puts a script named xdg-open first on PATH; it records the folder it runs in and its
// arguments, one call a line: folder, then each argument, separated by "|".
class ShellStandIn {
public:
    ShellStandIn() : savedPath_(std::getenv("PATH") ? std::getenv("PATH") : "")
    {
        std::filesystem::create_directory(folder_ / "bin");
        WriteScript(folder_ / "bin/xdg-open", Log());
        setenv("PATH", (folder_ / "bin" + ":" + savedPath_).c_str(), 1);
    }
    ~ShellStandIn() { setenv("PATH", savedPath_.c_str(), 1); }
    ShellStandIn(const ShellStandIn&) = delete;
    ShellStandIn& operator=(const ShellStandIn&) = delete;

    static void WriteScript(const std::string& path, const std::string& log)
    {
        std::ofstream(path) << "#!/bin/sh\n"
                            << "line=\"$(pwd -P)\"\n"
                            << "for a in \"$@\"; do line=\"$line|$a\"; done\n"
                            << "printf '%s\\n' \"$line\" >> '" << log << "'\n";
        std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    }

    std::string Log() const { return folder_ / "calls.log"; }
    std::vector<std::string> Calls() const
    {
        std::vector<std::string> lines;
        std::istringstream in(testing_files::ReadBytes(Log()));
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }
    bool WaitForCalls(std::size_t count) const
    {
        return WaitFor([&] { return Calls().size() >= count; });
    }
    void SetPath(const std::string& path) { setenv("PATH", path.c_str(), 1); }
    std::string Bin() const { return folder_ / "bin"; }

private:
    ScratchFolder folder_;
    std::string savedPath_;
};

std::string Canonical(const std::string& path) { return std::filesystem::canonical(path).string(); }

// ---------------------------------------------------------------------------------------------
// The player window's sounds

class PlayerSound : public ::testing::Test {
protected:
    static void SetUpTestSuite() { UseFakeSinks(); }

    void SetUp() override
    {
        media_ = Form3->MediaPlayer1;
        reports_ = std::make_unique<Reports>(*media_);
    }

    AnsiString Sound(const std::string& name, int milliseconds)
    {
        WriteWav(folder_ / name, milliseconds);
        return tk::FromUtf8(folder_ / name);
    }

    // Shows the player and waits for the layout that follows its activation.
    void ShowPlayer() { ASSERT_TRUE(PlayerProgram::ShowAndLayOut()); }

    // Shows a page as a link to it does.
    static void GoTo(std::int32_t page)
    {
        CurrentPage = page;
        ShowPage(page);
    }

    // How many plays ran to their end since the count was last cleared.
    std::size_t Ends() const { return std::count(reports_->values.begin(), reports_->values.end(), nvSuccessful); }

    PlayerProgram program_;
    const testing_files::ScratchFolder& folder_ = program_.Folder();
    static inline TForm*& mainWindow_ = PlayerProgram::MainWindow();
    TMediaPlayer* media_ = nullptr;
    std::unique_ptr<Reports> reports_;
};

TEST_F(PlayerSound, EachLayoutStartsThePagesSoundFromItsBeginning)
{
    const AnsiString bell = Sound("bell.wav", 4000);
    Pages[1].SoundFile = bell;
    Pages[2].SoundFile = bell;
    ShowPlayer();
    EXPECT_EQ(media_->FileName(), bell);
    EXPECT_EQ(media_->Mode(), mpPlaying);

    // The next page names the same sound: it starts again from its beginning.
    ASSERT_TRUE(WaitFor([&] { return media_->Position() >= 300; }));
    GoTo(2);
    EXPECT_LT(media_->Position(), 300);
    EXPECT_EQ(media_->Mode(), mpPlaying);
    // The request is left on for the keeper's next play.
    EXPECT_TRUE(media_->Notify());

    // So does a return to the player from the main window, after the activation delay.
    ASSERT_TRUE(WaitFor([&] { return media_->Position() >= 300; }));
    mainWindow_->Show();
    ASSERT_TRUE(WaitFor([] { return mainWindow_->Active(); }));
    ShowPlayer();
    EXPECT_LT(media_->Position(), 300);
}

TEST_F(PlayerSound, OnlyALastByteOfThreeGoesToTheShell)
{
    ShellStandIn shell;
    const AnsiString song = Sound("song3.wav", 4000);
    Pages[1].SoundFile = song;
    Pages[2].SoundFile = "tune.MP3";
    ShowPlayer();
    EXPECT_EQ(media_->FileName(), song);
    EXPECT_EQ(media_->Mode(), mpPlaying);

    // The shell sound opens in the current folder; the media player's sound plays on.
    GoTo(2);
    ASSERT_TRUE(shell.WaitForCalls(1));
    EXPECT_EQ(shell.Calls().at(0), Canonical(".") + "|tune.MP3");
    EXPECT_EQ(media_->FileName(), song);
    EXPECT_EQ(media_->Mode(), mpPlaying);

    // Each layout of the page opens it again.
    Form3->Button1Click(Form3->Button1);
    GoTo(2);
    ASSERT_TRUE(shell.WaitForCalls(2));
    EXPECT_EQ(shell.Calls().size(), 2u);
}

TEST_F(PlayerSound, AFileThatDoesNotPlayIsSilentAndStopsTheSoundBefore)
{
    Pages[1].SoundFile = Sound("bell.wav", 4000);
    Pages[2].SoundFile = tk::FromUtf8(folder_ / "missing.wav");
    testing_files::WriteBytes(folder_ / "text.wav", "RIFF");
    Pages[3].SoundFile = tk::FromUtf8(folder_ / "text.wav");
    ShowPlayer();
    ASSERT_EQ(media_->Mode(), mpPlaying);

    for (std::int32_t page : {2, 3}) {
        SCOPED_TRACE(page);
        GoTo(1);
        ASSERT_EQ(media_->Mode(), mpPlaying);
        GoTo(page);
        EXPECT_EQ(media_->Mode(), mpNotReady);
        EXPECT_EQ(media_->FileName(), Pages[page].SoundFile);
        EXPECT_TRUE(media_->Notify());
    }
    // The keeper's tries to play it again stay silent too (TearDown checks that no box came).
    for (int tick = 0; tick < 3; ++tick)
        Form3->Timer2Timer(Form3->Timer2);
    EXPECT_EQ(media_->Mode(), mpNotReady);
}

TEST_F(PlayerSound, AFailedReplayClosesTheDevice)
{
    Pages[1].SoundFile = tk::FromUtf8(folder_ / "missing.wav");
    ShowPlayer();
    ASSERT_EQ(media_->NotifyValue(), nvSuccessful);
    media_->SetNotify(true);
    Form3->Timer2Timer(Form3->Timer2);
    // The close took the notify request; nothing was open to close.
    EXPECT_FALSE(media_->Notify());
    EXPECT_EQ(media_->Mode(), mpNotReady);
}

TEST_F(PlayerSound, TheKeeperLoopsTheSoundWhileItsPageIsShown)
{
    Pages[1].SoundFile = Sound("loop.wav", 250);
    ShowPlayer();
    ASSERT_TRUE(Form3->Timer2->Enabled());
    // Three ends: the sound was played again twice without anybody but the keeper.
    EXPECT_TRUE(WaitFor([&] { return Ends() >= 3; }));
    EXPECT_EQ(media_->FileName(), Pages[1].SoundFile);
}

TEST_F(PlayerSound, APageWithoutItsOwnSoundLetsTheOldOnePlayToItsEndOnce)
{
    ShellStandIn shell;
    Pages[1].SoundFile = Sound("short.wav", 300);
    Pages[3].SoundFile = "tune.mp3";
    ShowPlayer();
    for (std::int32_t page : {2, 3}) {
        SCOPED_TRACE(page);
        GoTo(1);
        GoTo(page);
        EXPECT_EQ(media_->Mode(), mpPlaying);
        ASSERT_TRUE(WaitFor([&] { return media_->Mode() == mpStopped && media_->NotifyValue() == nvSuccessful; }));
        // The keeper finds nothing of its own to play.
        for (int tick = 0; tick < 3; ++tick)
            Form3->Timer2Timer(Form3->Timer2);
        EXPECT_EQ(media_->Mode(), mpStopped);
    }

    // A sound given to the shown page while it is shown comes at the first tick after an end.
    Pages[3].SoundFile = Sound("new.wav", 300);
    Form3->Timer2Timer(Form3->Timer2);
    EXPECT_EQ(media_->FileName(), Pages[3].SoundFile);
    EXPECT_EQ(media_->Mode(), mpPlaying);
}

TEST_F(PlayerSound, ClosingThePlayerLetsTheSoundPlayToItsEndOnce)
{
    Pages[1].SoundFile = Sound("short.wav", 400);
    ShowPlayer();
    ASSERT_EQ(media_->Mode(), mpPlaying);

    Form3->Close();
    EXPECT_FALSE(Form3->Visible());
    EXPECT_EQ(media_->Mode(), mpPlaying);
    ASSERT_TRUE(WaitFor([&] { return media_->Mode() == mpStopped; }));
    // The keeper is off, so nothing plays it again.
    EXPECT_FALSE(Form3->Timer2->Enabled());
}

// ---------------------------------------------------------------------------------------------
// Opening through the shell

class ShellOpening : public ::testing::Test {
protected:
    ShellStandIn shell_;
    ScratchFolder folder_;
};

TEST_F(ShellOpening, PathsOfAnyLengthAreHandedOverWholeInTheGivenFolder)
{
    // 79 bytes fill the old fixed buffers exactly; 200 bytes would have overrun them.
    const std::string base = folder_.Path().string() + "/";
    const std::string name79 = base + std::string(79 - base.size() - 4, 'a') + ".mp3";
    const std::string name200 = base + std::string(200 - base.size() - 4, 'b') + ".mp3";
    ASSERT_EQ(name79.size(), 79u);

    ShellOpen(tk::FromUtf8(name79), "", tk::FromUtf8(folder_.Path().string()), SW_SHOWMINIMIZED);
    ASSERT_TRUE(shell_.WaitForCalls(1));
    ShellOpen(tk::FromUtf8(name200), "", "", SW_SHOWMINIMIZED);
    ASSERT_TRUE(shell_.WaitForCalls(2));
    // A held path's "\" reads as "/".
    ShellOpen("sub\\tune.mp3", "", "", SW_SHOWMINIMIZED);
    ASSERT_TRUE(shell_.WaitForCalls(3));
    // A relative name that starts like an option still names the file.
    ShellOpen("-tune.mp3", "", "", SW_SHOWMINIMIZED);
    ASSERT_TRUE(shell_.WaitForCalls(4));

    const std::vector<std::string> calls = shell_.Calls();
    EXPECT_EQ(calls.at(0), Canonical(folder_.Path().string()) + "|" + name79);
    EXPECT_EQ(calls.at(1), Canonical(".") + "|" + name200);
    EXPECT_EQ(calls.at(2), Canonical(".") + "|sub/tune.mp3");
    EXPECT_EQ(calls.at(3), Canonical(".") + "|./-tune.mp3");
    // The children are gone, and none is left as a zombie of this process.
    EXPECT_TRUE(WaitFor([] { return waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD; }));
}

TEST_F(ShellOpening, NeverStartsAProgramFromTheCurrentFolder)
{
    const std::string strayLog = folder_ / "stray.log";
    std::filesystem::create_directory(folder_ / "rel");
    ShellStandIn::WriteScript(folder_ / "xdg-open", strayLog);
    ShellStandIn::WriteScript(folder_ / "rel/xdg-open", strayLog);
    const std::string saved = tk::NativePath(tk::GetCurrentDir());
    ASSERT_TRUE(tk::SetCurrentDir(tk::FromUtf8(folder_.Path().string())));
    // Empty, "." and relative entries all name the current folder or one below it.
    shell_.SetPath("::.:rel:" + shell_.Bin());

    ShellOpen("tune.mp3", "", "", SW_SHOWMINIMIZED);
    EXPECT_TRUE(shell_.WaitForCalls(1));
    tk::SetCurrentDir(tk::FromUtf8(saved));
    EXPECT_FALSE(std::filesystem::exists(strayLog));
}

} // namespace
