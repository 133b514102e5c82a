// The notices go through sd-bus (libsystemd): one connection, one method call per notice, and
// two signal matches installed before the first call so no answer is missed.
#include "platform/DesktopNotice.h"

#include "base/Translate.h"

#include <systemd/sd-bus.h>

#include <cstring>
#include <set>

namespace cq {
namespace {

constexpr const char* kService = "org.freedesktop.Notifications";
constexpr const char* kPath = "/org/freedesktop/Notifications";
constexpr const char* kInterface = "org.freedesktop.Notifications";
constexpr const char* kDefaultAction = "default";

std::string BusProblem(int code, const sd_bus_error* error) {
    std::string text = Tr("служба уведомлений недоступна");
    if (error && error->message)
        text += std::string(": ") + error->message;
    else if (code < 0)
        text += std::string(": ") + std::strerror(-code);
    return text;
}

class SessionBusNotices final : public DesktopNotices {
public:
    SessionBusNotices(sd_bus* bus, std::string applicationName)
        : bus_(bus), applicationName_(std::move(applicationName)) {}

    ~SessionBusNotices() override {
        sd_bus_slot_unref(closedSlot_);
        sd_bus_slot_unref(actionSlot_);
        sd_bus_flush_close_unref(bus_);
    }

    SessionBusNotices(const SessionBusNotices&) = delete;
    SessionBusNotices& operator=(const SessionBusNotices&) = delete;

    int watchSignals() {
        const int action = sd_bus_match_signal(bus_, &actionSlot_, nullptr, kPath, kInterface,
                                               "ActionInvoked", OnActionInvoked, this);
        if (action < 0)
            return action;
        return sd_bus_match_signal(bus_, &closedSlot_, nullptr, kPath, kInterface,
                                   "NotificationClosed", OnClosed, this);
    }

    std::optional<uint32_t> show(const std::string& summary, const std::string& body,
                                 std::string& problem) override {
        sd_bus_error error{}; // SD_BUS_ERROR_NULL: its compound literal is not C++
        sd_bus_message* reply = nullptr;
        const int called = sd_bus_call_method(
            bus_, kService, kPath, kInterface, "Notify", &error, &reply, "susssasa{sv}i",
            applicationName_.c_str(), uint32_t{0}, "dialog-warning", summary.c_str(), body.c_str(),
            2, kDefaultAction, Tr("Открыть").c_str(), 1, "urgency", "y", uint8_t{1}, int32_t{-1});
        uint32_t id = 0;
        const int read = called < 0 ? called : sd_bus_message_read(reply, "u", &id);
        if (read < 0)
            problem = BusProblem(read, &error);
        sd_bus_message_unref(reply);
        sd_bus_error_free(&error);
        if (read < 0)
            return std::nullopt;
        open_.insert(id);
        return id;
    }

    void waitForAnswers(std::chrono::milliseconds limit,
                        const std::function<void(uint32_t id)>& onDefault) override {
        onDefault_ = &onDefault;
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!open_.empty()) {
            const int processed = sd_bus_process(bus_, nullptr);
            if (processed < 0)
                break;
            if (processed > 0)
                continue;
            const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0 || sd_bus_wait(bus_, uint64_t(left.count())) < 0)
                break;
        }
        onDefault_ = nullptr;
    }

private:
    static int OnActionInvoked(sd_bus_message* message, void* self, sd_bus_error*) {
        auto& notices = *static_cast<SessionBusNotices*>(self);
        uint32_t id = 0;
        const char* action = nullptr;
        if (sd_bus_message_read(message, "us", &id, &action) < 0 || !notices.open_.count(id))
            return 0;
        if (action && std::strcmp(action, kDefaultAction) == 0 && notices.onDefault_ &&
            *notices.onDefault_)
            (*notices.onDefault_)(id);
        // One answer a notice: the service may close it afterwards, or keep it.
        notices.open_.erase(id);
        return 0;
    }

    static int OnClosed(sd_bus_message* message, void* self, sd_bus_error*) {
        auto& notices = *static_cast<SessionBusNotices*>(self);
        uint32_t id = 0;
        if (sd_bus_message_read(message, "u", &id) >= 0)
            notices.open_.erase(id);
        return 0;
    }

    sd_bus* bus_;
    std::string applicationName_;
    sd_bus_slot* actionSlot_ = nullptr;
    sd_bus_slot* closedSlot_ = nullptr;
    std::set<uint32_t> open_;
    const std::function<void(uint32_t)>* onDefault_ = nullptr;
};

} // namespace

std::unique_ptr<DesktopNotices> ConnectDesktopNotices(const std::string& applicationName,
                                                      std::string& problem) {
    sd_bus* bus = nullptr;
    const int opened = sd_bus_open_user(&bus);
    if (opened < 0) {
        problem = TrFormat("нет сеанса D-Bus пользователя: %1", {std::strerror(-opened)});
        return nullptr;
    }
    auto notices = std::make_unique<SessionBusNotices>(bus, applicationName);
    const int watched = notices->watchSignals();
    if (watched < 0) {
        problem = BusProblem(watched, nullptr);
        return nullptr;
    }
    return notices;
}

} // namespace cq
