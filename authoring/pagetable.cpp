// The page table and the shared variables, with the defaults of a new work.
#include "pagetable.h"

PageTable Pages;
std::int32_t WorkWidth = 0;
std::int32_t WorkHeight = 0;
std::int32_t CurrentPage = 0;
AnsiString StartFolder;
AnsiString WorkFileName;
TDataModule1* DataModule1 = nullptr;

void ResetAllPages(PageTable& table)
{
    static const char* const texts[] = {"文１", "文２", "文３"};
    for (int n = 1; n <= PageCount; ++n) {
        datax& page = table[n];
        for (int i = 1; i <= 3; ++i) {
            datag1& picture = page.Pictures[i];
            picture.FileName.clear();
            picture.Visible = false;
            picture.Top = 16 + 98 * (i - 1);
            picture.Height = 81;
            picture.Left = 8;
            picture.Width = 81;
            picture.Link = 0;

            datat1& text = page.Texts[i];
            text.Visible = false;
            text.Top = 16;
            text.Height = 137;
            text.Left = 104 + 144 * (i - 1);
            text.Width = 129;
            text.FontColor = 0;
            text.FontName = "ＭＳ明朝";
            text.FontSize = 10;
            text.FontStyle = 0;
            text.Link = 0;
            text.Text = texts[i - 1];
        }
        page.Buttons[1] = datab1{false, 0, "ﾎﾞﾀﾝ1", 472, 33, 24, 57};
        page.Buttons[2] = datab1{false, 0, "ﾎﾞﾀﾝ2", 472, 33, 96, 65};
        page.SoundFile.clear();
    }
}

void ResetAllPages() { ResetAllPages(Pages); }

void ApplyFontStyleCode(TFont& font, std::int32_t code)
{
    switch (code) {
    case 0: font.SetStyle(0); break;
    case 1: font.SetStyle(fsBold); break;
    case 2: font.SetStyle(fsItalic); break;
    default: break;
    }
}
