// The reference for bench_startup: a bare Qt Widgets program that shows one empty window of the
// main window's size and, when it is first painted, prints its resident memory and ends.
#include <QApplication>
#include <QPaintEvent>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

long ResidentKilobytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return -1;
}

class Window : public QWidget {
protected:
    void paintEvent(QPaintEvent* event) override {
        QWidget::paintEvent(event);
        if (reported_)
            return;
        reported_ = true;
        std::printf("painted %ld\n", ResidentKilobytes());
        std::fflush(stdout);
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
