// The player window's common part: its components, the page layout, links and activation.
#include "player.h"
#include "pagelayout.h"
#include "elementpicture.h"
#include "shell.h"

#include <initializer_list>

TPlayerWindow* PlayerWindow = nullptr;
std::int32_t LinkTarget = 0;

namespace {

TTimer* StoppedTimer200(TPlayerWindow* window)
{
    auto* timer = new TTimer(window);
    timer->SetEnabled(false);
    timer->SetInterval(200);
    return timer;
}

} // namespace

TPlayerWindow::TPlayerWindow(TComponent* owner, int left, int top) : TForm(owner)
{
    SetCaption("Form3");
    SetBounds(left, top, 792, 568);
    // Set before the controls are placed, so that they take it as their parent's font.
    Font()->SetName("ＭＳ Ｐゴシック");
    Font()->SetHeight(-12);
    Font()->SetCharset(SHIFTJIS_CHARSET);
    SetIcon("player.ico");

    Image1 = PlaceControl<TImage>(this, this, 8, 16, 81, 81);
    Image2 = PlaceControl<TImage>(this, this, 8, 112, 81, 81);
    Image3 = PlaceControl<TImage>(this, this, 8, 208, 81, 81);
    for (TImage* image : {Image1, Image2, Image3}) {
        image->SetStretch(true);
        image->Picture()->LoadFromResource(LayoutPictureResource);
    }
    Image1->SetIncrementalDisplay(true);
    Memo1 = PlaceControl<TMemo>(this, this, 104, 16, 129, 137);
    Memo1->Font()->SetName("ＭＳ Ｐゴシック");
    Memo1->Font()->SetHeight(-12);
    Memo1->Font()->SetCharset(SHIFTJIS_CHARSET);
    Memo2 = PlaceControl<TMemo>(this, this, 248, 16, 129, 137);
    Memo3 = PlaceControl<TMemo>(this, this, 392, 16, 121, 137);
    Memo1->SetText("文１");
    Memo2->SetText("文２");
    Memo3->SetText("文３");
    for (TMemo* memo : {Memo1, Memo2, Memo3})
        memo->SetReadOnly(true);
    Button4 = PlaceControl<TButton>(this, this, 24, 472, 57, 33);
    Button4->SetCaption("つぎへ");
    MediaPlayer1 = PlaceControl<TMediaPlayer>(this, this, 512, 488, 253, 25);
    Button8 = PlaceControl<TButton>(this, this, 96, 472, 65, 33);
    Button8->SetCaption("まえへ");
    Timer1 = StoppedTimer200(this);
    Timer2 = StoppedTimer200(this);
    Button1 = PlaceControl<TButton>(this, this, 0, 0, 9, 9);
    Button1->SetShowHint(true);

    Image1->OnClick = [this](TObject* s) { Image1Click(s); };
    Image2->OnClick = [this](TObject* s) { Image2Click(s); };
    Image3->OnClick = [this](TObject* s) { Image3Click(s); };
    Memo1->OnClick = [this](TObject* s) { Memo1Click(s); };
    Memo2->OnClick = [this](TObject* s) { Memo2Click(s); };
    Memo3->OnClick = [this](TObject* s) { Memo3Click(s); };
    Button4->OnClick = [this](TObject* s) { Button4Click(s); };
    Button8->OnClick = [this](TObject* s) { Button8Click(s); };
    Button1->OnClick = [this](TObject* s) { Button1Click(s); };
    OnActivate = [this](TObject* s) { FormActivate(s); };

    PlayerWindow = this;
}

TPlayerWindow::~TPlayerWindow()
{
    if (PlayerWindow == this)
        PlayerWindow = nullptr;
}

void TPlayerWindow::CreateCommon()
{
    SetCaption("Pagora");
    Button1->SetHint("１ページめにもどります");
}

void TPlayerWindow::FormActivate(TObject*)
{
    Timer1->SetEnabled(true);
    Timer2->SetEnabled(true);
    SetCaption("Pagora " + WorkFileName);
}

void TPlayerWindow::LayOutAfterActivation()
{
    Timer1->SetEnabled(false);
    SetWidth(WorkWidth);
    SetHeight(WorkHeight);
    ShowPage(CurrentPage);
    MediaPlayer1->SetEnabled(true);
}

void TPlayerWindow::StopOnClose()
{
    MediaPlayer1->SetEnabled(false);
    Timer2->SetEnabled(false);
    Timer1->SetEnabled(false);
}

// ---------------------------------------------------------------------------------------------
// Page sounds

namespace {

bool IsShellSound(const AnsiString& soundFile) { return !soundFile.empty() && soundFile.back() == '3'; }

} // namespace

void TPlayerWindow::PlayPageSound(const AnsiString& soundFile)
{
    try {
        MediaPlayer1->SetFileName(soundFile);
        MediaPlayer1->Open();
        MediaPlayer1->Play();
        MediaPlayer1->SetNotify(true);
    } catch (const std::exception&) {
        MediaPlayer1->SetNotify(true);
    }
}

// The sound keeper. A play that ended successfully leaves NotifyValue at 0, and the next tick
// plays the page's sound again from its beginning. A tick while the sound still plays lets it
// go on and supersedes the earlier play's report, so nothing happens until the later play
// ends. So a media-player sound loops for as long as its page is shown.
void TPlayerWindow::KeepPageSound(FailedReplay answer)
{
    if (MediaPlayer1->NotifyValue() != nvSuccessful || !IsPageNumber(CurrentPage))
        return;
    const AnsiString& soundFile = Pages[CurrentPage].SoundFile;
    if (soundFile.empty())
        return;
    if (MediaPlayer1->FileName() == soundFile) {
        try {
            MediaPlayer1->Play();
        } catch (const std::exception&) {
            if (answer == FailedReplay::CloseDevice)
                MediaPlayer1->Close();
            else
                MediaPlayer1->SetNotify(true);
        }
        return;
    }
    // The page's sound has changed since the page was laid out; a shell sound is never
    // loaded into the media player.
    if (!IsShellSound(soundFile))
        PlayPageSound(soundFile);
}

// ---------------------------------------------------------------------------------------------
// Page layout

void ShowPage(std::int32_t n)
{
    TPlayerWindow* w = PlayerWindow;
    if (!w || !IsPageNumber(n))
        return;
    // Raises for a hidden window; for a shown one that is not active, this activates it.
    w->Button1->SetFocus();
    ApplyPageElements(Pages[n], {{w->Image1, w->Image2, w->Image3}, {w->Memo1, w->Memo2, w->Memo3}, {w->Button4, w->Button8}});
    PageSoundStep(n);
}

void PageSoundStep(std::int32_t n)
{
    TPlayerWindow* w = PlayerWindow;
    if (!w || !IsPageNumber(n))
        return;
    // A page without a sound leaves an earlier page's sound to play to its end.
    const AnsiString& soundFile = Pages[n].SoundFile;
    if (soundFile.empty())
        return;
    if (IsShellSound(soundFile))
        ShellOpen(soundFile, "", "", SW_SHOWMINIMIZED);
    else
        w->PlayPageSound(soundFile);
}

// A document takes no parameters, and desktop programs choose their own window state.
void ShellOpen(const AnsiString& file, const AnsiString& /*parameters*/, const AnsiString& folder,
               std::int32_t /*showCommand*/)
{
    // Paths of any length are passed whole: a sound path of 80 bytes or more is as good a
    // path as a shorter one, and a cut one would name another file.
    tk::ShellOpen(file, folder);
}

// ---------------------------------------------------------------------------------------------
// Links

void FollowLink()
{
    TPlayerWindow* w = PlayerWindow;
    if (!w)
        return;
    if (LinkTarget < 0) {
        // The end of the work. The page stays where it was.
        w->MediaPlayer1->SetEnabled(false);
        w->Timer2->SetEnabled(false);
        w->Close();
    } else if (IsPageNumber(LinkTarget)) {
        CurrentPage = LinkTarget;
        ShowPage(CurrentPage);
    }
    // 0 is no jump; a number beyond the table (a work file may hold one) is none either.
}

namespace {

// A click on an element follows its link as the page's record holds it at this moment, so
// a link changed while the page is shown is followed at once.
template <class Pick>
void ElementClicked(Pick linkOf)
{
    if (!IsPageNumber(CurrentPage))
        return;
    LinkTarget = linkOf(Pages[CurrentPage]);
    FollowLink();
}

} // namespace

void TPlayerWindow::Image1Click(TObject*) { ElementClicked([](const datax& p) { return p.Pictures[1].Link; }); }
void TPlayerWindow::Image2Click(TObject*) { ElementClicked([](const datax& p) { return p.Pictures[2].Link; }); }
void TPlayerWindow::Image3Click(TObject*) { ElementClicked([](const datax& p) { return p.Pictures[3].Link; }); }
void TPlayerWindow::Memo1Click(TObject*) { ElementClicked([](const datax& p) { return p.Texts[1].Link; }); }
void TPlayerWindow::Memo2Click(TObject*) { ElementClicked([](const datax& p) { return p.Texts[2].Link; }); }
void TPlayerWindow::Memo3Click(TObject*) { ElementClicked([](const datax& p) { return p.Texts[3].Link; }); }
void TPlayerWindow::Button4Click(TObject*) { ElementClicked([](const datax& p) { return p.Buttons[1].Link; }); }
void TPlayerWindow::Button8Click(TObject*) { ElementClicked([](const datax& p) { return p.Buttons[2].Link; }); }

void TPlayerWindow::Button1Click(TObject*)
{
    CurrentPage = 1;
    ShowPage(1);
}
