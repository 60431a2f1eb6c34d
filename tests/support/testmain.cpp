// Test entry point: one application object for the whole test program, on Qt's offscreen
// platform. Modal boxes are answered by each test (modal.h).
#include "forms.h"

#include <QString>
#include <QtGlobal>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

QtMessageHandler standardHandler = nullptr;

// The offscreen platform cannot raise windows and says so each time a window is shown.
void QuietMessages(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.contains(QStringLiteral("does not support raise()")) || message.contains(QStringLiteral("does not support propagateSizeHints()")))
        return;
    standardHandler(type, context, message);
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // Listing or running the tests by hand needs no display either.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("PAGORA_TEST_DATA", PAGORA_SOURCE_DIR "/tests/data", 0);
    setenv("PAGORA_RESOURCES", PAGORA_SOURCE_DIR "/resources", 0);
    Application->Initialize();
    standardHandler = qInstallMessageHandler(QuietMessages);
    return RUN_ALL_TESTS();
}
