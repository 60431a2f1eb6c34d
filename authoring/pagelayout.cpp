// Applying a page record to element controls.
#include "pagelayout.h"
#include "elementpicture.h"

void ApplyPageElements(const datax& r, const ElementControls& c)
{
    for (int i = 1; i <= 3; ++i)
        c.pictures[i - 1]->SetVisible(r.Pictures[i].Visible);
    for (int i = 1; i <= 3; ++i)
        c.pictures[i - 1]->SetTop(r.Pictures[i].Top);
    for (int i = 1; i <= 3; ++i)
        c.pictures[i - 1]->SetHeight(r.Pictures[i].Height);
    for (int i = 1; i <= 3; ++i)
        c.pictures[i - 1]->SetLeft(r.Pictures[i].Left);
    for (int i = 1; i <= 3; ++i)
        c.pictures[i - 1]->SetWidth(r.Pictures[i].Width);

    for (int i = 1; i <= 3; ++i)
        c.texts[i - 1]->SetVisible(r.Texts[i].Visible);
    for (int i = 1; i <= 3; ++i)
        c.texts[i - 1]->SetTop(r.Texts[i].Top);
    for (int i = 1; i <= 3; ++i)
        c.texts[i - 1]->SetHeight(r.Texts[i].Height);
    for (int i = 1; i <= 3; ++i)
        c.texts[i - 1]->SetLeft(r.Texts[i].Left);
    for (int i = 1; i <= 3; ++i)
        c.texts[i - 1]->SetWidth(r.Texts[i].Width);
    for (int i = 1; i <= 3; ++i)
        c.texts[i - 1]->Font()->SetColor(r.Texts[i].FontColor);
    for (int i = 1; i <= 3; ++i)
        c.texts[i - 1]->Font()->SetName(r.Texts[i].FontName);
    for (int i = 1; i <= 3; ++i)
        c.texts[i - 1]->Font()->SetSize(r.Texts[i].FontSize);
    for (int i = 1; i <= 3; ++i)
        ApplyFontStyleCode(*c.texts[i - 1]->Font(), r.Texts[i].FontStyle);
    for (int i = 1; i <= 3; ++i)
        c.texts[i - 1]->SetText(r.Texts[i].Text);

    for (int j = 1; j <= 2; ++j)
        c.buttons[j - 1]->SetVisible(r.Buttons[j].Visible);
    for (int j = 1; j <= 2; ++j)
        c.buttons[j - 1]->SetCaption(r.Buttons[j].Caption);
    for (int j = 1; j <= 2; ++j) {
        const datab1& b = r.Buttons[j];
        c.buttons[j - 1]->SetBounds(b.Left, b.Top, b.Width, b.Height);
    }

    for (int i = 1; i <= 3; ++i)
        LoadElementPicture(c.pictures[i - 1]->Picture(), r.Pictures[i].FileName);
}
