#include "cli/Password.h"

#include "app/Errors.h"
#include "app/FileUtil.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace cq::cli {
namespace {

SecretBytes WithoutFinalLineEnd(SecretBytes text) {
    if (!text.empty() && text.str().back() == '\n')
        text.truncate(text.size() - 1);
    if (!text.empty() && text.str().back() == '\r')
        text.truncate(text.size() - 1);
    return text;
}

/// Echo off on the terminal while the password is typed; restored on every way out.
class EchoOff {
public:
    explicit EchoOff(int fd) : fd_(fd) {
        active_ = ::tcgetattr(fd_, &saved_) == 0;
        if (!active_)
            return;
        termios quiet = saved_;
        quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
        quiet.c_lflag |= ICANON;
        ::tcsetattr(fd_, TCSAFLUSH, &quiet);
    }
    ~EchoOff() {
        if (active_)
            ::tcsetattr(fd_, TCSAFLUSH, &saved_);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    int fd_;
    termios saved_{};
    bool active_ = false;
};

SecretBytes TypedPassword() {
    const int fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        throw Exception("Пароль не задан: укажите его в переменной " +
                        std::string(kPasswordVariable) + " или в файле (--password-file).");
    SecretBytes line;
    {
        const EchoOff quiet(fd);
        const char prompt[] = "Пароль: ";
        (void)!::write(fd, prompt, sizeof prompt - 1);
        char c = 0;
        for (;;) {
            const ssize_t got = ::read(fd, &c, 1);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0 || c == '\n')
                break;
            line.append(std::string_view(&c, 1));
        }
        c = 0;
        (void)!::write(fd, "\n", 1);
    }
    ::close(fd);
    return line;
}

} // namespace

SecretBytes ReadPassword(const Arguments& args) {
    if (const char* value = std::getenv(kPasswordVariable))
        return SecretBytes(value);
    bool fromFile = false;
    const std::string file = OptionValue(args, "--password-file", &fromFile);
    if (fromFile)
        return WithoutFinalLineEnd(SecretBytes(ReadFileBytes(file)));
    return TypedPassword();
}

} // namespace cq::cli
