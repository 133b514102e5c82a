// Log service speed: what a caller of WriteLog waits, and how many records per second the writer
// stores against the limit of this design, a plain loop that opens, appends to and closes the same
// file once per record.
#include "base/ProgramInfo.h"
#include "base/TextCodec.h"
#include "log/Identity.h"
#include "log/Log.h"
#include "log/LogLayout.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRecords = 20000;
constexpr int kRounds = 5;

std::string RecordText(int i) {
    return "Получение сертификата <!>EIdHTTPProtocolException<!> Прерванный запрос HTTP (404) #" +
           std::to_string(i);
}

struct WriterRound {
    double recordsPerSecond;
    std::string fileName;
    std::vector<double> callerNanos;
};

// One burst of records through the running log service.
WriterRound RunWriter() {
    WriterRound round;
    round.callerNanos.reserve(kRecords);
    const auto start = Clock::now();
    for (int i = 0; i < kRecords; ++i) {
        const auto before = Clock::now();
        cq::WriteLog(RecordText(i), cq::LogKind::Stamped);
        round.callerNanos.push_back(
            std::chrono::duration<double, std::nano>(Clock::now() - before).count());
    }
    cq::FlushLog();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    round.recordsPerSecond = kRecords / seconds;
    round.fileName = cq::LogFileName();
    return round;
}

// Appends the same records to the same file, which the writer has just filled.
double RunPlainLoop(const std::string& file) {
    std::vector<std::string> records;
    for (int i = 0; i < kRecords; ++i)
        records.push_back(cq::ToCp1251(cq::FormatLogRecord(
            RecordText(i), cq::LogKind::Stamped, cq::ToLocal(std::chrono::system_clock::now()),
            cq::StationIdentity())));
    const auto start = Clock::now();
    for (const std::string& record : records) {
        const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (fd < 0 || ::write(fd, record.data(), record.size()) < 0)
            std::abort();
        ::close(fd);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return kRecords / seconds;
}

double Percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    return values[static_cast<size_t>(fraction * static_cast<double>(values.size() - 1))];
}

double Median(std::vector<double> values) {
    return Percentile(std::move(values), 0.5);
}

} // namespace

int main() {
    char templ[] = "/tmp/cqbench.XXXXXX";
    const std::string folder = std::string(::mkdtemp(templ)) + "/";
    cq::InitProgramInfo(folder + "certquorix");
    std::ofstream(folder + "CertQuorix.ini") << "[Common]\r\n";

    std::vector<double> writerRates, plainRates, callerNanos;
    // One log service for every round, as a program has: the first burst meets new memory, the
    // later ones the memory the service keeps.
    cq::InitLog("CertQuorix", "CertQuorix", ".srt");
    for (int round = 0; round < kRounds; ++round) {
        WriterRound writer = RunWriter();
        writerRates.push_back(writer.recordsPerSecond);
        callerNanos.insert(callerNanos.end(), writer.callerNanos.begin(), writer.callerNanos.end());
        // The loop runs on a thread of its own, as the writer does, so both meet the same core.
        double plainRate = 0;
        std::thread([&] { plainRate = RunPlainLoop(writer.fileName); }).join();
        plainRates.push_back(plainRate);
    }
    cq::ShutdownLog();
    const double writer = Median(writerRates);
    const double plain = Median(plainRates);
    std::printf("records per round: %d, rounds: %d\n", kRecords, kRounds);
    std::printf("WriteLog caller time: median %.0f ns, p99 %.0f ns (target p99 < 5000 ns), "
                "p99.9 %.0f ns\n",
                Median(callerNanos), Percentile(callerNanos, 0.99), Percentile(callerNanos, 0.999));
    std::printf("writer: %.0f records/s; plain open-append-close loop: %.0f records/s\n", writer,
                plain);
    std::printf("ratio writer/plain: %.2f (target >= 0.80)\n", writer / plain);
    std::filesystem::remove_all(folder);
    return 0;
}
