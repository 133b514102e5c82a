#include "ui/DesktopTask.h"

#include "app/ErrorReport.h"

#include <QCoreApplication>
#include <QThreadPool>

#include <exception>

namespace cq::ui {
namespace {

void ReportOnInterfaceThread(std::exception_ptr failure) {
    QMetaObject::invokeMethod(
        qApp,
        [failure] {
            try {
                std::rethrow_exception(failure);
            } catch (const std::exception& error) {
                OnApplicationError(error);
            }
        },
        Qt::QueuedConnection);
}

} // namespace

void OpenOffInterfaceThread(std::function<void()> open) {
    // The global pool is waited for when the application ends, so no opening outlives it.
    QThreadPool::globalInstance()->start([open = std::move(open)] {
        try {
            open();
        } catch (...) {
            ReportOnInterfaceThread(std::current_exception());
        }
    });
}

} // namespace cq::ui
