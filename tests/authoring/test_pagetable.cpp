// The page table's defaults and the independence of its records.
#include "pagetable.h"

#include <gtest/gtest.h>

namespace {

void ExpectDefaults(const datax& page)
{
    for (int i = 1; i <= 3; ++i) {
        const datag1& picture = page.Pictures[i];
        EXPECT_EQ(picture, (datag1{"", false, 16 + 98 * (i - 1), 81, 8, 81, 0})) << "picture " << i;
        const datat1& text = page.Texts[i];
        EXPECT_FALSE(text.Visible);
        EXPECT_EQ(text.Top, 16);
        EXPECT_EQ(text.Height, 137);
        EXPECT_EQ(text.Left, 104 + 144 * (i - 1));
        EXPECT_EQ(text.Width, 129);
        EXPECT_EQ(text.FontColor, 0);
        EXPECT_EQ(text.FontName, "ＭＳ明朝");
        EXPECT_EQ(text.FontSize, 10);
        EXPECT_EQ(text.FontStyle, 0);
        EXPECT_EQ(text.Link, 0);
    }
    EXPECT_EQ(page.Texts[1].Text, "文１");
    EXPECT_EQ(page.Texts[2].Text, "文２");
    EXPECT_EQ(page.Texts[3].Text, "文３");
    EXPECT_EQ(page.Buttons[1], (datab1{false, 0, "ﾎﾞﾀﾝ1", 472, 33, 24, 57}));
    EXPECT_EQ(page.Buttons[2], (datab1{false, 0, "ﾎﾞﾀﾝ2", 472, 33, 96, 65}));
    EXPECT_TRUE(page.SoundFile.empty());
}

TEST(PageTable, ResetGivesAllTwoHundredRecordsTheirDefaultsOverAnyContents)
{
    PageTable table;
    for (int n = 1; n <= PageCount; ++n) {
        table[n].Pictures[2].FileName = "C:\\pics\\cat.bmp";
        table[n].Texts[1].Text = "one\r\ntwo\r\nthree";
        table[n].Texts[3].FontStyle = 2;
        table[n].Buttons[2].Link = -1;
        table[n].SoundFile = "song.wav";
    }
    ResetAllPages(table);
    for (int n = 1; n <= PageCount; ++n) {
        SCOPED_TRACE(n);
        ExpectDefaults(table[n]);
    }
    // The button captions: four half-width katakana and an ASCII digit.
    EXPECT_EQ(table[1].Buttons[1].Caption, "\xCE\xDE\xC0\xDD" "1");
}

TEST(PageTable, RecordsAreIndependentValues)
{
    PageTable table;
    ResetAllPages(table);
    table[7].Texts[2].Text = "changed";
    table[8].Pictures[1].FileName = "x.bmp";
    EXPECT_EQ(table[6].Texts[2].Text, "文２");
    EXPECT_EQ(table[9], table[1]);
    datax copy = table[7];
    copy.Texts[2].Text = "copy";
    EXPECT_EQ(table[7].Texts[2].Text, "changed");
}

TEST(PageTable, OnlyPagesOneToTwoHundredAreInTheTable)
{
    EXPECT_FALSE(IsPageNumber(0));
    EXPECT_TRUE(IsPageNumber(1));
    EXPECT_TRUE(IsPageNumber(200));
    EXPECT_FALSE(IsPageNumber(201));
    EXPECT_FALSE(IsPageNumber(-1));
}

} // namespace
