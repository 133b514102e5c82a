#include "log/Log.h"

namespace cq {

void InitLog(const std::string&, const std::string&, const std::string&) {}
void WriteLog(const std::string&, int) {}
bool LogRunning() {
    return false;
}
std::string LogFileName() {
    return {};
}
void FlushLog() {}

} // namespace cq
