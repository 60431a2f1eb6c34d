// Inside the toolkit and its tests: what the help viewer window shows.
#pragma once

#include "sysutils.h"

class QWidget;

namespace tk {

// The help file the viewer showed last, as it was asked for (empty before the first).
AnsiString HelpViewerShownFile();
// The viewer's window, or nullptr before it has shown a file.
QWidget* HelpViewerWindow();

} // namespace tk
