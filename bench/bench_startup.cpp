// Start-up of the window program against a bare Qt Widgets program (bench_startup_bare): the
// time from starting the process to the first painted main window with its settings loaded, and the
// resident memory at that moment. Both run alternately in the same run on the same display; the
// medians and their ratios are printed. Needs an X display; without one it starts itself again
// under xvfb-run.
//
// With "--window" it is the measured program itself: the real start-up (connection, log,
// message boxes, main window) that reports at the main window's first paint and closes it.
#include "ResidentMemory.h"

#include "ui/MainWindow.h"
#include "ui/Startup.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRuns = 15;

// Reports the first paint in the main window (the window or any of its areas) with its settings
// loaded (after the deferred initialisation), then closes it.
class FirstPaint : public QObject {
public:
    explicit FirstPaint(cq::ui::MainWindow* window) : QObject(window), window_(window) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (event->type() == QEvent::Paint && !reported_ && widget && widget->window() == window_ &&
            window_->initialised()) {
            reported_ = true;
            std::printf("painted %s\n", cq::bench::ResidentBreakdown().c_str());
            std::fflush(stdout);
            cq::bench::PrintMappingsWhenAsked();
            QTimer::singleShot(0, window_, &QWidget::close);
        }
        return false;
    }

private:
    cq::ui::MainWindow* window_;
    bool reported_ = false;
};

int RunWindow(int argc, char** argv) {
    cq::ui::StartupSteps steps;
    steps.createMainForm = []() -> std::unique_ptr<QWidget> {
        auto form = std::make_unique<cq::ui::MainWindow>();
        qApp->installEventFilter(new FirstPaint(form.get()));
        cq::ui::MainWindow* shown = form.get();
        QObject::connect(shown, &cq::ui::MainWindow::deferredInitDone, shown,
                         [shown] { shown->update(); });
        return form;
    };
    return cq::ui::RunProgram(argc, argv, steps);
}

struct Sample {
    double milliseconds = 0;
    long residentKilobytes = 0;
    long anonymousKilobytes = 0;          ///< heap and stacks
    long fileKilobytes = 0;               ///< program, libraries, fonts and other mapped files
    long libraries = 0;                   ///< shared libraries mapped
    std::map<std::string, long> mappings; ///< resident kB by what is mapped, when asked for
};

// Starts a program and waits for its "painted" line.
Sample Measure(const std::vector<std::string>& command) {
    std::string line = "exec";
    for (const std::string& part : command)
        line += " '" + part + "'";
    const auto start = Clock::now();
    FILE* child = popen(line.c_str(), "r");
    if (!child)
        throw std::runtime_error("cannot start " + command.front());
    Sample sample;
    char buffer[4352];
    bool painted = false;
    while (!painted && std::fgets(buffer, sizeof buffer, child)) {
        if (std::sscanf(buffer, "painted %ld %ld %ld %ld", &sample.residentKilobytes,
                        &sample.anonymousKilobytes, &sample.fileKilobytes,
                        &sample.libraries) == 4) {
            sample.milliseconds =
                std::chrono::duration<double, std::milli>(Clock::now() - start).count();
            painted = true;
        }
    }
    char what[4096];
    long kilobytes = 0;
    while (std::fgets(buffer, sizeof buffer, child)) {
        if (std::sscanf(buffer, "mapping %ld %4095[^\n]", &kilobytes, what) == 2)
            sample.mappings[what] += kilobytes;
    }
    pclose(child);
    if (!painted)
        throw std::runtime_error(command.front() + " painted nothing");
    return sample;
}

// The libraries, fonts and areas in which the window holds more (or less) resident memory than
// the bare program, largest differences first, down to 100 kB.
void PrintWhereTheDifferenceGoes(const Sample& window, const Sample& bare) {
    std::map<std::string, long> difference = window.mappings;
    for (const auto& [what, kilobytes] : bare.mappings)
        difference[what] -= kilobytes;
    std::vector<std::pair<long, std::string>> largest;
    for (const auto& [what, kilobytes] : difference)
        if (kilobytes >= 100 || kilobytes <= -100)
            largest.emplace_back(kilobytes, what);
    std::sort(largest.begin(), largest.end(),
              [](const auto& a, const auto& b) { return std::abs(a.first) > std::abs(b.first); });
    std::printf("  where the window holds more than the bare program (one run each):\n");
    for (const auto& [kilobytes, what] : largest)
        std::printf("  %+8ld kB  %s\n", kilobytes, what.c_str());
}

template <typename T> T Median(std::vector<T> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::string ProgramPath() {
    char path[4096];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, static_cast<size_t>(length)) : std::string();
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--window")
        return RunWindow(argc, argv);
    const std::string self = ProgramPath();
    if (!std::getenv("DISPLAY")) {
        if (std::getenv("CQ_BENCH_UNDER_XVFB")) {
            std::cerr << "bench_startup: no X display\n";
            return 1;
        }
        ::setenv("CQ_BENCH_UNDER_XVFB", "1", 1);
        ::execlp("xvfb-run", "xvfb-run", "-a", "-s", "-screen 0 1280x1024x24", self.c_str(),
                 static_cast<char*>(nullptr));
        std::cerr << "bench_startup: needs an X display or xvfb-run\n";
        return 1;
    }
    const std::string bare = self.substr(0, self.rfind('/') + 1) + "bench_startup_bare";
    std::vector<double> windowTimes, bareTimes;
    std::vector<long> windowMemory, bareMemory;
    std::vector<Sample> windowSamples, bareSamples;
    Measure({self, "--window"}); // warm the file cache for both
    Measure({bare});
    for (int run = 0; run < kRuns; ++run) {
        const Sample window = Measure({self, "--window"});
        const Sample reference = Measure({bare});
        windowTimes.push_back(window.milliseconds);
        windowMemory.push_back(window.residentKilobytes);
        bareTimes.push_back(reference.milliseconds);
        bareMemory.push_back(reference.residentKilobytes);
        windowSamples.push_back(window);
        bareSamples.push_back(reference);
    }
    const double windowTime = Median(windowTimes), bareTime = Median(bareTimes);
    const long windowRss = Median(windowMemory), bareRss = Median(bareMemory);
    std::printf("start-up to the first painted main window, median of %d runs\n", kRuns);
    std::printf("  certquorix         %8.1f ms  %7ld kB resident\n", windowTime, windowRss);
    std::printf("  bare Qt Widgets    %8.1f ms  %7ld kB resident\n", bareTime, bareRss);
    std::printf("  ratio              %8.2f     %7.2f      (goals: <= 1.5 and <= 1.3)\n",
                windowTime / bareTime, static_cast<double>(windowRss) / bareRss);
    // Where the difference in memory goes (medians of each part).
    const auto part = [](const std::vector<Sample>& samples, long Sample::*field) {
        std::vector<long> values;
        for (const Sample& sample : samples)
            values.push_back(sample.*field);
        return Median(values);
    };
    std::printf("  resident memory    anonymous kB   mapped files kB   shared libraries\n");
    std::printf("  certquorix         %12ld   %15ld   %16ld\n",
                part(windowSamples, &Sample::anonymousKilobytes),
                part(windowSamples, &Sample::fileKilobytes),
                part(windowSamples, &Sample::libraries));
    std::printf("  bare Qt Widgets    %12ld   %15ld   %16ld\n",
                part(bareSamples, &Sample::anonymousKilobytes),
                part(bareSamples, &Sample::fileKilobytes), part(bareSamples, &Sample::libraries));
    ::setenv("CQ_BENCH_MAPPINGS", "1", 1);
    PrintWhereTheDifferenceGoes(Measure({self, "--window"}), Measure({bare}));
    return 0;
}
