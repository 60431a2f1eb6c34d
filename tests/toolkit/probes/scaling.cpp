// A window as the programs make one, in a process of its own, so that a test can start it with
// the desktop's scaling settings in its environment. Prints what the window system is given:
// the device pixel ratio, the window's pixels, the fonts' resolution, the size in pixels of a
// 9-point font, and the environment left for the programs this one starts.
#include "forms.h"
#include "qtbridge.h"

#include <QFontInfo>

#include <cstdio>
#include <cstdlib>

int main()
{
    Application->Initialize();
    TForm form(nullptr);
    form.SetBounds(0, 0, 792, 568);
    form.Show();
    Application->ProcessMessages();
    QWidget* window = form.impl().widget;
    const QSize pixels = window->grab().size();
    QFont nine;
    nine.setPointSize(9);
    const char* scale = std::getenv("QT_SCALE_FACTOR");
    std::printf("ratio %g outer %dx%d pixels %s dpi %d nine-point %d left QT_SCALE_FACTOR=%s\n",
                window->devicePixelRatioF(), form.Width(), form.Height(),
                pixels == QSize(form.ClientWidth(), form.ClientHeight()) ? "as client" : "scaled",
                window->logicalDpiY(), QFontInfo(nine).pixelSize(), scale ? scale : "");
    return 0;
}
