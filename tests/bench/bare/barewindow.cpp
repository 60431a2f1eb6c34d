// The floor of the start-up benchmarks: a bare Qt Widgets program showing one window of the
// programs' design size.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QWidget window;
    window.resize(792, 568);
    window.show();
    return application.exec();
}
