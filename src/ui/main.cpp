// The window program.
#include "app/ErrorReport.h"
#include "ui/Startup.h"

#include <iostream>

int main(int argc, char** argv) {
    try {
        return cq::ui::RunProgram(argc, argv);
    } catch (const std::exception& error) {
        // Start-up failed outside the event loop; the connection is already closed.
        std::cerr << cq::DescribeError(error) << "\n";
        return 1;
    }
}
