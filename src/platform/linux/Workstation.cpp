#include "platform/Workstation.h"

#include "base/StringUtil.h"

#include <arpa/inet.h>
#include <cstdlib>
#include <netdb.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace cq {
namespace {

// The IPv4 client address of an SSH session; empty for a local session or an IPv6 client.
std::string SshClientAddress() {
    const char* connection = std::getenv("SSH_CONNECTION");
    if (!connection)
        return {};
    const std::string address = Split(connection, " ").front();
    in_addr parsed{};
    return inet_pton(AF_INET, address.c_str(), &parsed) == 1 ? address : std::string();
}

// A host name cut to its first label; an address is kept whole, or every client of one network
// would be called by its first number.
std::string ShortName(const std::string& name) {
    in_addr ipv4{};
    in6_addr ipv6{};
    if (inet_pton(AF_INET, name.c_str(), &ipv4) == 1 ||
        inet_pton(AF_INET6, name.c_str(), &ipv6) == 1)
        return name;
    return name.substr(0, name.find('.'));
}

// The client's name from the DNS; its address when the address has no name.
std::string ResolveClientName(const std::string& address) {
    sockaddr_in socketAddress{};
    socketAddress.sin_family = AF_INET;
    inet_pton(AF_INET, address.c_str(), &socketAddress.sin_addr);
    char host[NI_MAXHOST];
    if (getnameinfo(reinterpret_cast<sockaddr*>(&socketAddress), sizeof socketAddress, host,
                    sizeof host, nullptr, 0, NI_NAMEREQD) != 0)
        return address;
    return ShortName(host);
}

std::string SessionTerminalName() {
    for (int fd : {0, 1, 2}) {
        if (const char* tty = ::ttyname(fd))
            return StartsWith(tty, "/dev/") ? std::string(tty + 5) : std::string(tty);
    }
    const char* session = std::getenv("XDG_SESSION_ID");
    return session ? session : "";
}

std::string ShortHostName() {
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0 || host[0] == '\0')
        return "#127.0.0.1";
    return ShortName(host);
}

std::string LocalAccountName() {
    const passwd* entry = ::getpwuid(::geteuid());
    return entry && entry->pw_name ? std::string("\\") + entry->pw_name : std::string("***");
}

} // namespace

IdentitySources ReadIdentitySources() {
    IdentitySources sources;
    sources.clientAddress = SshClientAddress();
    if (!sources.clientAddress.empty()) {
        sources.clientName = ResolveClientName(sources.clientAddress);
        sources.sessionName = SessionTerminalName();
    }
    sources.computerName = ShortHostName();
    sources.accountName = LocalAccountName();
    return sources;
}

} // namespace cq
