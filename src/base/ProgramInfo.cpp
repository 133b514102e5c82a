#include "base/ProgramInfo.h"

#include "base/FileUtil.h"

#include <climits>
#include <unistd.h>

#ifndef CQ_PROGRAM_VERSION
#define CQ_PROGRAM_VERSION ""
#endif

namespace cq {
namespace {

struct ProgramValues {
    std::string folder;
    std::string fileName;
    std::string singleLogFileName;
    std::string version = CQ_PROGRAM_VERSION;
};

std::string SelfExecutablePath() {
    char buffer[PATH_MAX + 1];
    const ssize_t length = ::readlink("/proc/self/exe", buffer, PATH_MAX);
    return length > 0 ? std::string(buffer, static_cast<size_t>(length))
                      : std::string("certquorix");
}

void FillProgramPath(ProgramValues& values, const std::string& programPath) {
    values.fileName = ExtractFileName(programPath);
    values.folder = ExtractFilePath(programPath);
    values.singleLogFileName = ChangeFileExt(values.fileName, ".log");
}

ProgramValues& Values() {
    static ProgramValues values = [] {
        ProgramValues fresh;
        FillProgramPath(fresh, SelfExecutablePath());
        return fresh;
    }();
    return values;
}

} // namespace

const std::string& ProgramFolder() {
    return Values().folder;
}
const std::string& ProgramFileName() {
    return Values().fileName;
}
const std::string& SingleLogFileName() {
    return Values().singleLogFileName;
}
const std::string& ProgramVersion() {
    return Values().version;
}

void InitProgramInfo(const std::string& programPath) {
    FillProgramPath(Values(), programPath);
}

} // namespace cq
