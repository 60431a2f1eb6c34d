// The viewer's player window: plays the opened work page by page, by hand or turning the
// pages itself.
#include "shunit2.h"
#include "shunit0.h"

#include <cstdint>

TForm3* Form3 = nullptr;

TForm3::TForm3(TComponent* owner) : TPlayerWindow(owner, 6, 7)
{
    Timer3 = new TTimer(this);
    Timer3->SetEnabled(false);

    OnCreate = [this](TObject* s) { FormCreate(s); };
    Timer1->OnTimer = [this](TObject* s) { Timer1Timer(s); };
    OnClose = [this](TObject* s, TCloseAction& a) { FormClose(s, a); };
    Timer2->OnTimer = [this](TObject* s) { Timer2Timer(s); };
    Timer3->OnTimer = [this](TObject* s) { Timer3Timer(s); };
}

void TForm3::FormCreate(TObject*)
{
    CreateCommon();
    Timer3->SetEnabled(false);
}

// In the automatic modes every activation (re)starts the page turning at the number of
// seconds chosen now; an unchanged interval keeps the count going.
void TForm3::Timer1Timer(TObject*)
{
    LayOutAfterActivation();
    if (ViewMode > 1) {
        Timer3->SetInterval(PageTurnInterval(AutoSeconds));
        Timer3->SetEnabled(true);
    }
}

// The close action stays the default: the window hides and comes back with the next view.
void TForm3::FormClose(TObject*, TCloseAction&)
{
    StopOnClose();
    Timer3->SetEnabled(false);
}

// The sound keeper; a failed replay asks for a report and leaves the device open.
void TForm3::Timer2Timer(TObject*) { KeepPageSound(FailedReplay::AskForReport); }

// Shows the first page with content after the current one. Past page 200 the mode read now
// decides: 2 ends the turning, any other goes on from page 1. One tick looks at each page
// at most once; when no page has content the page stays and the next tick looks again (a
// work opened meanwhile may have some).
void TForm3::Timer3Timer(TObject*)
{
    // Wide, so that a page number at the top of its range cannot overflow.
    std::int64_t page = static_cast<std::int64_t>(CurrentPage) + 1;
    for (int examined = 0; examined < PageCount; ++examined) {
        if (page > PageCount) {
            if (ViewMode == 2) {
                Timer3->SetEnabled(false);
                return;
            }
            page = 1;
        }
        if (page < 1)
            page = 1;
        const auto n = static_cast<std::int32_t>(page);
        if (PageHasContent(Pages[n])) {
            CurrentPage = n;
            ShowPage(CurrentPage);
            return;
        }
        ++page;
    }
}

bool PageHasContent(const datax& page)
{
    for (int i = 1; i <= 3; ++i)
        if (page.Pictures[i].Visible || page.Texts[i].Visible)
            return true;
    return page.Buttons[1].Visible || page.Buttons[2].Visible || !page.SoundFile.empty();
}

unsigned PageTurnInterval(std::int32_t seconds)
{
    constexpr std::int64_t longest = INT32_MAX;
    if (seconds <= 0)
        return 0;
    const std::int64_t ms = static_cast<std::int64_t>(seconds) * 1000;
    return static_cast<unsigned>(ms < longest ? ms : longest);
}
