#pragma once
// Handing a path or an address to the desktop may wait several seconds for its handler. That
// wait happens on a worker thread, so the window keeps taking input and painting meanwhile;
// an error comes back to the interface thread and is reported there like any handler's error.

#include <functional>

namespace cq::ui {

/// Runs `open` on a worker thread and returns at once. An exception it raises reaches
/// OnApplicationError on the interface thread.
void OpenOffInterfaceThread(std::function<void()> open);

} // namespace cq::ui
