// The help viewer: a small window of its own that shows a help file's contents page.
//
// Help files are HTML documents in UTF-8. The window is modeless and made once; each help
// command loads the file again and brings the window to the front.
#include "helpviewer.h"

#include "dialogs.h"
#include "qtbridge.h"

#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QTextBrowser>

namespace tk {

namespace {

QPointer<QTextBrowser>& Viewer()
{
    static QPointer<QTextBrowser> viewer;
    return viewer;
}

AnsiString& ShownFile()
{
    static AnsiString shown;
    return shown;
}

// The path as the file system names it: the held one ends in "\pagoraed.hlp".
void ReportMissing(const AnsiString& helpFile)
{
    ShowMessageBox({MessageBoxRequest::Kind::Error, Ansi("ヘルプ"),
                    Ansi("ヘルプのファイル ") + FromUtf8(NativePath(helpFile)) + Ansi(" が みつかりません")});
}

} // namespace

void ShowHelpContents(const AnsiString& helpFile)
{
    const QString path = QString::fromStdString(NativePath(helpFile));
    const QFileInfo info(path);
    QFile file(path);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly)) {
        ReportMissing(helpFile);
        return;
    }
    const QByteArray html = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        ReportMissing(helpFile);
        return;
    }

    QPointer<QTextBrowser>& viewer = Viewer();
    if (!viewer) {
        viewer = new QTextBrowser;
        viewer->setWindowTitle(QStringLiteral("ヘルプ"));
        viewer->resize(640, 480);
        viewer->setOpenExternalLinks(true);
    }
    // Pictures and other pages that the document names are found beside it.
    viewer->setSearchPaths({info.absolutePath()});
    viewer->setHtml(QString::fromUtf8(html));
    viewer->show();
    viewer->raise();
    viewer->activateWindow();
    ShownFile() = helpFile;
}

AnsiString HelpViewerShownFile() { return ShownFile(); }

QWidget* HelpViewerWindow() { return Viewer().data(); }

} // namespace tk
