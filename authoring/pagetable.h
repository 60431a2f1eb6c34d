// The page table, its record types and defaults, and the variables both programs share.
#pragma once

#include "forms.h"
#include "sysutils.h"

#include <array>
#include <cstdint>

// A fixed array numbered First..First+N-1, as the pages and elements are numbered.
template <class T, int First, int N>
class NumberedArray {
public:
    T& operator[](int n) { return items_[static_cast<std::size_t>(n - First)]; }
    const T& operator[](int n) const { return items_[static_cast<std::size_t>(n - First)]; }
    static constexpr bool Contains(int n) { return n >= First && n < First + N; }
    bool operator==(const NumberedArray&) const = default;

private:
    std::array<T, N> items_{};
};

// One picture element.
struct datag1 {
    AnsiString FileName;
    bool Visible = false;
    std::int32_t Top = 0, Height = 0, Left = 0, Width = 0;
    std::int32_t Link = 0;
    bool operator==(const datag1&) const = default;
};

// One text element; Text keeps its line breaks as CR LF.
struct datat1 {
    AnsiString Text;
    bool Visible = false;
    std::int32_t Top = 0, Height = 0, Left = 0, Width = 0;
    std::int32_t FontColor = 0;
    AnsiString FontName;
    std::int32_t FontSize = 0;
    std::int32_t FontStyle = 0; // 0 regular, 1 bold, 2 italic; others leave a control's style
    std::int32_t Link = 0;
    bool operator==(const datat1&) const = default;
};

// One button element (its string is the third field, unlike the other two).
struct datab1 {
    bool Visible = false;
    std::int32_t Link = 0;
    AnsiString Caption;
    std::int32_t Top = 0, Height = 0, Left = 0, Width = 0;
    bool operator==(const datab1&) const = default;
};

// One page.
struct datax {
    NumberedArray<datag1, 1, 3> Pictures;
    NumberedArray<datat1, 1, 3> Texts;
    NumberedArray<datab1, 1, 2> Buttons;
    AnsiString SoundFile;
    bool operator==(const datax&) const = default;
};

constexpr int PageCount = 200;
using PageTable = NumberedArray<datax, 1, PageCount>;

// True for the page numbers the table holds (1 to 200).
constexpr bool IsPageNumber(std::int32_t n) { return PageTable::Contains(n); }

extern PageTable Pages;
extern std::int32_t WorkWidth;   // the work's window size, outer, in pixels
extern std::int32_t WorkHeight;
extern std::int32_t CurrentPage; // page shown by the player
extern AnsiString StartFolder;   // current folder at start-up followed by "\"
extern AnsiString WorkFileName;  // path of the current work; empty for none

constexpr std::int32_t DefaultWorkWidth = 792;
constexpr std::int32_t DefaultWorkHeight = 568;

// Gives every record of a table its default values.
void ResetAllPages(PageTable& table);
void ResetAllPages();

// Applies a text's style code to a control's font: 0 regular, 1 bold alone, 2 italic alone;
// any other code leaves the style as it was.
void ApplyFontStyleCode(TFont& font, std::int32_t code);

// The empty data module; its unit is home to the table and the shared variables.
class TDataModule1 : public TDataModule {
public:
    explicit TDataModule1(TComponent* owner) : TDataModule(owner) {}
};
extern TDataModule1* DataModule1;
