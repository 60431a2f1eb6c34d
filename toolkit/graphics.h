// Colours, fonts and pictures.
#pragma once

#include "sysutils.h"

#include <cstdint>
#include <functional>
#include <memory>

// A Windows colour value: 0x00BBGGRR, or a system colour reference with the top byte 0x80.
using TColor = std::int32_t;
constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clBtnFace = static_cast<TColor>(0x8000000F);
constexpr TColor clWindow = static_cast<TColor>(0x80000005);
constexpr TColor clWindowText = static_cast<TColor>(0x80000008);

enum TFontStyle : unsigned { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using TFontStyles = unsigned; // a set of TFontStyle bits

constexpr int DEFAULT_CHARSET = 1;
constexpr int SHIFTJIS_CHARSET = 128;

class TFont {
public:
    TFont();
    TFont(const TFont&) = delete;
    TFont& operator=(const TFont&) = delete;
    ~TFont();

    // Face name as held; an empty name is ignored, a longer one than 31 bytes is cut to 31.
    AnsiString Name() const { return name_; }
    void SetName(const AnsiString& name);
    // Size in points at 96 pixels per inch; Height in pixels (negative: character height).
    int Size() const;
    void SetSize(int points);
    int Height() const { return height_; }
    void SetHeight(int pixels);
    TColor Color() const { return color_; }
    void SetColor(TColor color);
    TFontStyles Style() const { return style_; }
    void SetStyle(TFontStyles style);
    int Charset() const { return charset_; }
    void SetCharset(int charset);
    // Takes every attribute of another font.
    void Assign(const TFont& other);

    // Runs after every change that alters the font (set by the control that shows it).
    std::function<void()> OnChange;

private:
    void Changed();
    AnsiString name_;
    int height_;
    TColor color_;
    TFontStyles style_;
    int charset_;
};

// A picture held by a TImage: loaded by extension (bmp, ico, jpg, jpeg, emf, wmf, any case).
class TPicture {
public:
    TPicture();
    ~TPicture();
    TPicture(const TPicture&) = delete;
    TPicture& operator=(const TPicture&) = delete;

    // Raises EFOpenError for a file that cannot be opened, EInvalidGraphic for an unknown
    // extension or damaged data; the picture then stays as it was.
    void LoadFromFile(const AnsiString& fileName);
    // Loads a picture built into the program (its resource name, e.g. "rabbit.bmp").
    void LoadFromResource(const std::string& name);

    bool Empty() const;
    int Width() const;
    int Height() const;
    // The size the picture is to be shown at; a decoder may use it to decode smaller.
    void SetTargetSize(int width, int height);

    std::function<void()> OnChange;

    struct Impl;
    Impl& impl() { return *impl_; }
    const Impl& impl() const { return *impl_; }

private:
    std::unique_ptr<Impl> impl_;
};
