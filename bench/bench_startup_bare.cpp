// The reference for bench_startup: a bare Qt Widgets program that shows one empty window of the
// main window's size and, when it is first painted, prints its resident memory and ends.
#include "ResidentMemory.h"

#include <QApplication>
#include <QPaintEvent>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <string>

namespace {

class Window : public QWidget {
protected:
    void paintEvent(QPaintEvent* event) override {
        QWidget::paintEvent(event);
        if (reported_)
            return;
        reported_ = true;
        std::printf("painted %s\n", cq::bench::ResidentBreakdown().c_str());
        std::fflush(stdout);
        cq::bench::PrintMappingsWhenAsked();
        QTimer::singleShot(0, this, &QWidget::close);
    }

private:
    bool reported_ = false;
};

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    Window window;
    window.resize(437, 525);
    window.show();
    return QApplication::exec();
}
