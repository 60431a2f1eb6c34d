// The Qt side of the test probes.
#include "uiprobe.h"
#include "qtbridge.h"

#include <QElapsedTimer>
#include <QTest>

#include <stdexcept>

namespace probe {

namespace {
QImage Comparable(const QImage& image) { return image.convertToFormat(QImage::Format_RGB32); }
} // namespace

bool WaitFor(const std::function<bool()>& condition, int timeoutMs) { return QTest::qWaitFor(condition, timeoutMs); }

long long NowMs()
{
    static const QElapsedTimer clock = [] {
        QElapsedTimer started;
        started.start();
        return started;
    }();
    return clock.elapsed();
}

void Click(TControl* control) { QTest::mouseClick(control->impl().widget, Qt::LeftButton); }

void WriteBitmap(const std::string& path, int width, int height, unsigned rgb)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor::fromRgb(rgb));
    if (!image.save(QString::fromStdString(path), "BMP"))
        throw std::runtime_error("cannot write " + path);
}

bool ShowsFile(TPicture* picture, const std::string& path)
{
    QImage expected(QString::fromStdString(path));
    return !expected.isNull() && Comparable(picture->impl().image) == Comparable(expected);
}

bool ShowsResource(TPicture* picture, const std::string& name)
{
    QImage expected = tk::ResourceImage(name);
    return !expected.isNull() && Comparable(picture->impl().image) == Comparable(expected);
}

} // namespace probe
