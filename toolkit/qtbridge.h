// Inside the toolkit only: the Qt side of the components, and string conversions to Qt.
#pragma once

#include "controls.h"
#include "graphics.h"
#include "sysutils.h"

#include <QFont>
#include <QImage>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

namespace tk {

inline QString ToQt(const AnsiString& s) { return QString::fromStdString(ToUtf8(s)); }
inline AnsiString FromQt(const QString& s) { return FromUtf8(s.toStdString()); }
// A UTF-8 literal of the toolkit's own as a held string.
inline AnsiString Ansi(const char* utf8) { return FromUtf8(utf8); }

// The Qt font for a TFont: pixel size from its height, Japanese Windows faces substituted.
QFont ToQFont(const TFont& font);
// The family that draws a face: the IPA font for a Japanese Windows face in any of its
// spellings, the face itself otherwise.
QString SubstituteFace(const QString& face);
// The Japanese Windows faces that IPA fonts stand in for, by their Windows names, in the order
// a font dialog offers them.
const QStringList& JapaneseWindowsFaces();
// A Windows colour value (system colours included) as a Qt colour.
QColor ToQColor(TColor color);
// Applies a font to a widget: face, size, style and text colour.
void ApplyFont(QWidget* widget, const TFont& font);
// Applies the fonts that controls changed since the event loop last ran (controls.cpp), for
// code that paints or measures before it runs again.
void ApplyChangedFonts();

// The built-in picture of the given resource name (":/pagora/" + name), decoded as a BMP file
// or, for ".ico", an icon file (the entry that best covers the box, the largest without one);
// a null image when there is none.
QImage ResourceImage(const std::string& name, QSize box = {});

// Prints an image as one page on the printer chosen by the last TPrintDialog, at the page's
// top-left corner, scaled by the printer's resolution / 96 (dialogs.cpp).
void PrintImage(const QImage& image);
// The help viewer window: shows the contents page of a help file, or says in its own message
// box that the file is missing (helpviewer.cpp).
void ShowHelpContents(const AnsiString& helpFile);

} // namespace tk

// The Qt widget behind a control.
struct TControl::Impl {
    QPointer<QWidget> widget;
    bool topLevel = false;
    bool visible = true; // a control's own Visible, whatever its parent shows
    bool showHint = false;
    AnsiString hint;
    bool fontChanged = false; // a change of the font is on its way to the widget
};

namespace tk {
// The decoders of picture files, chosen by the file's extension.
enum class PictureKind { Bitmap, Icon, Jpeg, Metafile, Unknown };
} // namespace tk

// The decoded image a picture holds (null when empty), and the box it is to be shown in.
struct TPicture::Impl {
    QImage image;
    int targetWidth = 0;
    int targetHeight = 0;
    // The file of a picture decoded smaller than the file can give (a JPEG at a reduced scale,
    // a bitmap averaged down, a smaller entry of an icon, a metafile drawn for its box), to
    // decode it again for a box it no longer covers; empty for every other picture. A native
    // path from the root: the current folder may have changed by then.
    std::string sourceFile;
    tk::PictureKind sourceKind = tk::PictureKind::Unknown;
    // The box has outgrown the image since it was decoded.
    bool outgrown = false;
};

namespace tk {
// The image to paint a picture with. A picture whose box has outgrown it is decoded again from
// its file first, only now: a page's layout sets every box before it replaces the pictures in
// them. A failure keeps the image the picture has.
const QImage& ImageToPaint(TPicture& picture);
} // namespace tk
