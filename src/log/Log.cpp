#include "log/Log.h"

#include "base/Errors.h"
#include "base/FileUtil.h"
#include "base/IniFile.h"
#include "base/ProgramInfo.h"
#include "base/StringUtil.h"
#include "base/TextCodec.h"
#include "base/Translate.h"
#include "log/Identity.h"
#include "log/LogLayout.h"
#include "platform/ThreadPriority.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace cq {
namespace {

// How long start-up waits for the writer thread to run.
constexpr auto kReadyWait = std::chrono::minutes(1);
constexpr size_t kTrimBlock = 2048;

void WriteAndClose(int fd, const std::string& bytes, const std::string& fileName) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    const int writeError = errno;
    if (::close(fd) != 0 || written != static_cast<ssize_t>(bytes.size()))
        throw MakeOSError(written < 0 ? writeError : EIO, fileName);
}

// Log files are opened without waiting: a pipe in a log file's place that nobody reads fails
// (ENXIO) instead of holding the writer, or the start-up, forever.
constexpr int kLogOpenFlags = O_WRONLY | O_APPEND | O_NONBLOCK | O_CLOEXEC;

// Appends to the file when it exists; false when it does not.
bool AppendToExistingFile(const std::string& fileName, const std::string& bytes) {
    const int fd = ::open(fileName.c_str(), kLogOpenFlags);
    if (fd < 0) {
        if (errno == ENOENT)
            return false;
        throw MakeOSError(errno, fileName);
    }
    WriteAndClose(fd, bytes, fileName);
    return true;
}

// Appends to the file, creating it readable by its owner only: the log names addresses,
// containers and the service's answers.
void AppendToLogFile(const std::string& fileName, const std::string& bytes) {
    const int fd = ::open(fileName.c_str(), kLogOpenFlags | O_CREAT, 0600);
    if (fd < 0)
        throw MakeOSError(errno, fileName);
    WriteAndClose(fd, bytes, fileName);
}

// Creates a new file with its header and first record; when another process made the file
// meanwhile, only the record is appended.
void CreateFileWith(const std::string& fileName, const std::string& header,
                    const std::string& record) {
    const int fd = ::open(fileName.c_str(), kLogOpenFlags | O_CREAT | O_EXCL, 0600);
    if (fd < 0) {
        if (errno == EEXIST)
            return AppendToLogFile(fileName, record);
        throw MakeOSError(errno, fileName);
    }
    WriteAndClose(fd, header + record, fileName);
}

/// The writer thread and its first-in first-out queue of records.
struct QueuedRecord {
    std::string text;
    LogKind kind;
    LogText encoding;
};

// The most slots a queue keeps between batches, the most text memory a slot keeps, and what a
// slot prepared by the writer holds without growing (a usual record).
constexpr size_t kKeptSlots = 32768;
constexpr size_t kKeptTextCapacity = 1024;
constexpr size_t kPreparedTextCapacity = 192;

/// Records in arrival order, in slots that keep their memory from batch to batch. The writer
/// prepares the slots a caller will fill, touching their memory itself: a caller copies its text
/// into memory that is there already, and never waits on the kernel giving it new pages or on
/// the writer freeing.
class RecordQueue {
public:
    void add(const std::string& text, LogKind kind, LogText encoding) {
        if (used_ == slots_.size()) {
            slots_.push_back({text, kind, encoding});
        } else {
            QueuedRecord& slot = slots_[used_];
            slot.text.assign(text);
            slot.kind = kind;
            slot.encoding = encoding;
        }
        ++used_;
    }
    bool empty() const { return used_ == 0; }
    size_t size() const { return used_; }
    const QueuedRecord* begin() const { return slots_.data(); }
    const QueuedRecord* end() const { return slots_.data() + used_; }
    void swap(RecordQueue& other) noexcept {
        slots_.swap(other.slots_);
        std::swap(used_, other.used_);
    }
    /// Forgets the records; the memory stays for the next ones unless there is a lot of it.
    void clear() {
        for (size_t i = 0; i < used_; ++i)
            if (slots_[i].text.capacity() > kKeptTextCapacity)
                std::string().swap(slots_[i].text);
        if (slots_.size() > kKeptSlots) {
            slots_.resize(kKeptSlots);
            slots_.shrink_to_fit();
        }
        used_ = 0;
    }
    /// Makes `count` slots (at most kKeptSlots) ready, their memory touched.
    void prepare(size_t count) {
        const size_t wanted = std::min(count, kKeptSlots);
        if (slots_.size() >= wanted)
            return;
        slots_.reserve(wanted);
        while (slots_.size() < wanted) {
            QueuedRecord& slot = slots_.emplace_back();
            slot.text.assign(kPreparedTextCapacity, '\0');
            slot.text.clear();
        }
    }

private:
    std::vector<QueuedRecord> slots_;
    size_t used_ = 0;
};

class TLogThread {
public:
    TLogThread(LogLayout layout, int sizeLimitKB, Clock clock)
        : layout_(std::move(layout)), sizeLimitKB_(sizeLimitKB), clock_(std::move(clock)),
          thread_([this] { run(); }) {}

    ~TLogThread() {
        {
            std::lock_guard lock(mutex_);
            terminated_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }

    /// True once the writer runs; waits for it at most `limit`.
    bool waitReady(std::chrono::milliseconds limit) {
        std::unique_lock lock(mutex_);
        return readyChanged_.wait_for(lock, limit, [this] { return ready_; });
    }

    void post(const std::string& text, LogKind kind, LogText encoding) {
        std::unique_lock lock(mutex_);
        queue_.add(text, kind, encoding);
        const bool wake = writerWaiting_;
        lock.unlock();
        if (wake)
            wake_.notify_one();
    }

    void flush() {
        std::unique_lock lock(mutex_);
        drained_.wait(lock, [this] { return queue_.empty() && !writing_; });
    }

    std::string currentFileName() const { return LogFileNameFor(layout_, ToLocal(clock_())); }

private:
    void run() {
        // The writer yields to the threads that log: a caller is not held up by the writer
        // taking its processor each time a write of the writer's ends.
        LowerCurrentThreadPriority();
        {
            std::lock_guard lock(mutex_);
            ready_ = true;
        }
        readyChanged_.notify_all();
        RecordQueue batch;
        for (;;) {
            {
                std::unique_lock lock(mutex_);
                writerWaiting_ = true;
                wake_.wait(lock, [this] { return !queue_.empty() || terminated_; });
                writerWaiting_ = false;
                if (queue_.empty())
                    return;
                batch.swap(queue_);
                writing_ = true;
            }
            for (const QueuedRecord& queued : batch)
                writeRecord(queued);
            // The next batch may be as large as twice the largest so far: its slots are made
            // ready here, before a caller fills them.
            largestBatch_ = std::max(largestBatch_, batch.size());
            batch.clear();
            batch.prepare(2 * largestBatch_);
            {
                std::lock_guard lock(mutex_);
                writing_ = false;
            }
            drained_.notify_all();
        }
    }

    // One open-append-close per record; a record that cannot be written is dropped.
    void writeRecord(const QueuedRecord& queued) {
        try {
            const LocalDateTime now = localNow();
            const std::string& fileName = fileNameFor(now);
            if (layout_.pathBy == 4 && FileExists(fileName))
                TrimLogFile(fileName, sizeLimitKB_);
            std::string& record = recordBytes_; // reused: no allocation per record
            record.clear();
            AppendLogRecordBytes(record, queued.text, queued.kind, queued.encoding, now,
                                 identityCp1251_);
            if (!AppendToExistingFile(fileName, record))
                CreateFileWith(fileName, ToCp1251(LogHeader(ProgramFileName(), ProgramVersion())),
                               record);
        } catch (...) {
            // The folder may have gone: make it again for the next record.
            preparedFileName_.clear();
        }
    }

    // The local time now; the calendar conversion is redone only when the second changes.
    LocalDateTime localNow() {
        const TimePoint moment = clock_();
        const auto second = std::chrono::floor<std::chrono::seconds>(moment);
        if (second != cachedSecond_) {
            cachedLocal_ = ToLocal(second);
            cachedSecond_ = second;
        }
        LocalDateTime local = cachedLocal_;
        local.millisecond = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(moment - second).count());
        return local;
    }

    // The file of a record written on that date, its folder made; the previous record's file
    // serves while the date stays the same.
    const std::string& fileNameFor(const LocalDateTime& now) {
        const int day = (now.year * 100 + now.month) * 100 + now.day;
        if (day != preparedDay_ || preparedFileName_.empty()) {
            preparedFileName_.clear();
            ForceDirectories(LogFolderFor(layout_, now), kPrivateFolderMode);
            preparedFileName_ = LogFileNameFor(layout_, now);
            preparedDay_ = day;
        }
        return preparedFileName_;
    }

    const LogLayout layout_;
    const int sizeLimitKB_;
    const Clock clock_;
    bool ready_ = false;
    std::condition_variable readyChanged_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable drained_;
    RecordQueue queue_;
    size_t largestBatch_ = 0;
    bool writerWaiting_ = false;
    bool writing_ = false;
    bool terminated_ = false;
    std::string preparedFileName_;
    std::string recordBytes_;
    const std::string identityCp1251_ = ToCp1251(StationIdentity());
    TimePoint cachedSecond_ = TimePoint::min();
    LocalDateTime cachedLocal_;
    int preparedDay_ = 0;
    std::thread thread_;
};

struct LogState {
    std::unique_ptr<TLogThread> writer;
    LogLayout layout;
    Clock clock = SystemClock();
};

LogState& State() {
    // The identity values are made first so that they outlive the writer, which still uses them
    // while it writes the last records at the end of the process.
    static LogState state = (static_cast<void>(StationIdentity()), LogState{});
    return state;
}

LogSettings ReadLogSettings(const std::string& settingsFile) {
    LogSettings settings;
    try {
        const IniFile ini = IniFile::Load(settingsFile);
        settings.logPath = ini.ReadString("Common", "LogPath");
        settings.logByComp = ini.ReadInteger("Common", "LogByComp", 0);
        settings.logPathBy = ini.ReadInteger("Common", "LogPathBy", 0);
        settings.errorSizeKB = ini.ReadInteger("Common", "ErrorSize", 65536);
    } catch (const std::exception&) {
        // An unreadable settings file leaves every default in force.
    }
    if (settings.logPathBy < 0 || settings.logPathBy > 4)
        settings.logPathBy = 0;
    return settings;
}

// Creates the folder and the first log file (with its header) of a record written now.
void PrepareFolder(LogLayout& layout, const std::string& folder, const Clock& clock) {
    try {
        ForceDirectories(folder, kPrivateFolderMode);
    } catch (const EOSError& error) {
        throw Exception(TrFormat("Директория для лога не была создана! С ошибкой : %1",
                                 {SystemErrorMessage(error.errorCode())}));
    }
    layout.folder = IncludeTrailingPathDelimiter(folder);
    const LocalDateTime now = ToLocal(clock());
    ForceDirectories(LogFolderFor(layout, now), kPrivateFolderMode);
    const std::string fileName = LogFileNameFor(layout, now);
    if (FileExists(fileName))
        AppendToLogFile(fileName, "");
    else
        AppendToLogFile(fileName, ToCp1251(LogHeader(ProgramFileName(), ProgramVersion())));
}

std::string ConfiguredFolder(const LogSettings& settings) {
    if (!settings.logPath.empty())
        return ExcludeTrailingPathDelimiter(ExpandEnvironmentStrings(settings.logPath));
    if (settings.logByComp == 2)
        return ProgramFolder() + "Logs/" + StationName();
    return ProgramFolder() + "Logs";
}

void ResolveAndPrepareFolder(LogLayout& layout, const LogSettings& settings,
                             const std::string& appFolderName, const std::string& settingsName,
                             const Clock& clock) {
    try {
        PrepareFolder(layout, ConfiguredFolder(settings), clock);
    } catch (const std::exception&) {
        const std::string fallback =
            UserDataFolder() + appFolderName + "/" + settingsName + "/Logs";
        PrepareFolder(layout, fallback, clock);
    }
}

void WaitUntilReady(TLogThread& writer) {
    if (!writer.waitReady(kReadyWait))
        throw Exception(Tr("Поток Log-а не инициализировался дольше минуты."));
}

} // namespace

void InitLog(const std::string& appFolderName, const std::string& settingsName,
             const std::string& nameSuffix) {
    LogState& state = State();
    if (state.writer)
        return;
    const LogSettings settings = ReadLogSettings(ProgramFolder() + settingsName + ".ini");
    LogLayout layout;
    layout.pathBy = settings.logPathBy;
    layout.singleLogFileName = SingleLogFileName();
    layout.nameSuffix = nameSuffix;
    if (settings.logByComp == 1)
        layout.nameSuffix = nameSuffix + "_" + StationName();
    if (LowerCase(settings.logPath) == "nul")
        return;
    ResolveAndPrepareFolder(layout, settings, appFolderName, settingsName, state.clock);
    state.layout = layout;
    state.writer = std::make_unique<TLogThread>(layout, settings.errorSizeKB, state.clock);
    WaitUntilReady(*state.writer);
}

void WriteLog(const std::string& text, LogKind kind, LogText encoding) {
    try {
        if (TLogThread* writer = State().writer.get())
            writer->post(text, kind, encoding);
    } catch (...) {
    }
}

bool LogRunning() {
    return State().writer != nullptr;
}

std::string LogFileName() {
    const LogState& state = State();
    if (!state.writer)
        return {};
    const LocalDateTime now = ToLocal(state.clock());
    ForceDirectories(LogFolderFor(state.layout, now), kPrivateFolderMode);
    return LogFileNameFor(state.layout, now);
}

void FlushLog() {
    if (TLogThread* writer = State().writer.get())
        writer->flush();
}

void ShutdownLog() {
    State().writer.reset();
}

void SetLogClock(Clock clock) {
    State().clock = clock ? std::move(clock) : SystemClock();
}

void TrimLogFile(const std::string& fileName, int limitKB) {
    std::unique_ptr<FILE, int (*)(FILE*)> log(std::fopen(fileName.c_str(), "rb"), std::fclose);
    if (!log)
        return;
    std::fseek(log.get(), 0, SEEK_END);
    const long size = std::ftell(log.get());
    const std::string tempName = ChangeFileExt(fileName, ".$$$");
    if (size >= 0 && size / 1024 > limitKB) {
        char block[kTrimBlock];
        long offset = size / 5;
        std::fseek(log.get(), offset, SEEK_SET);
        const size_t got = std::fread(block, 1, kTrimBlock, log.get());
        for (size_t k = 0; k < got && k < kTrimBlock - 1; ++k) {
            if (block[k] == '\n') {
                std::fseek(log.get(), offset + static_cast<long>(k) + 1, SEEK_SET);
                break;
            }
        }
        const int tempFd = ::open(tempName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        std::unique_ptr<FILE, int (*)(FILE*)> temp(tempFd < 0 ? nullptr : ::fdopen(tempFd, "wb"),
                                                   std::fclose);
        if (!temp && tempFd >= 0)
            ::close(tempFd);
        if (!temp)
            return;
        for (size_t read; (read = std::fread(block, 1, kTrimBlock, log.get())) > 0;)
            if (std::fwrite(block, 1, read, temp.get()) < read)
                break;
    }
    log.reset();
    if (FileExists(tempName)) {
        std::remove(fileName.c_str());
        std::rename(tempName.c_str(), fileName.c_str());
    }
}

} // namespace cq
