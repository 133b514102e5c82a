#include "log/Identity.h"

#include "app/FileUtil.h"
#include "app/StringUtil.h"

#include <arpa/inet.h>
#include <climits>
#include <cstdlib>
#include <netdb.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#ifndef CQ_PROGRAM_VERSION
#define CQ_PROGRAM_VERSION ""
#endif

namespace cq {
namespace {

struct IdentityValues {
    std::string programFolder;
    std::string programFileName;
    std::string singleLogFileName;
    std::string stationName;
    std::string stationIdentity;
    std::string programVersion = CQ_PROGRAM_VERSION;
};

std::string SelfExecutablePath() {
    char buffer[PATH_MAX + 1];
    const ssize_t length = ::readlink("/proc/self/exe", buffer, PATH_MAX);
    return length > 0 ? std::string(buffer, static_cast<size_t>(length))
                      : std::string("certquorix");
}

void FillProgramPath(IdentityValues& values, const std::string& programPath) {
    values.programFileName = ExtractFileName(programPath);
    values.programFolder = ExtractFilePath(programPath);
    values.singleLogFileName = ChangeFileExt(values.programFileName, ".log");
}

IdentityValues& Values() {
    static IdentityValues values = [] {
        IdentityValues fresh;
        FillProgramPath(fresh, SelfExecutablePath());
        const IdentitySources sources = ReadIdentitySources();
        fresh.stationName = MakeStationName(sources);
        fresh.stationIdentity = MakeStationIdentity(sources);
        return fresh;
    }();
    return values;
}

// The IPv4 client address of an SSH session; empty for a local session or an IPv6 client.
std::string SshClientAddress() {
    const char* connection = std::getenv("SSH_CONNECTION");
    if (!connection)
        return {};
    const std::string address = Split(connection, " ").front();
    in_addr parsed{};
    return inet_pton(AF_INET, address.c_str(), &parsed) == 1 ? address : std::string();
}

std::string ResolveClientName(const std::string& address) {
    sockaddr_in socketAddress{};
    socketAddress.sin_family = AF_INET;
    inet_pton(AF_INET, address.c_str(), &socketAddress.sin_addr);
    char host[NI_MAXHOST];
    if (getnameinfo(reinterpret_cast<sockaddr*>(&socketAddress), sizeof socketAddress, host,
                    sizeof host, nullptr, 0, 0) != 0)
        return address;
    const std::string name = host;
    return name.substr(0, name.find('.'));
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
    const std::string name = host;
    return name.substr(0, name.find('.'));
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

std::string MakeStationName(const IdentitySources& sources) {
    std::string station = sources.clientAddress.empty() ? sources.computerName : sources.clientName;
    if (station.empty())
        station = sources.computerName;
    return UpperCase(station);
}

std::string MakeStationIdentity(const IdentitySources& sources) {
    std::string identity;
    if (!sources.clientAddress.empty() && !sources.sessionName.empty()) {
        identity += '(';
        identity += MakeStationName(sources);
        identity += ':';
        identity += sources.sessionName;
        identity += ')';
    }
    identity += sources.computerName;
    identity += ':';
    identity += sources.accountName;
    return identity;
}

const std::string& ProgramFolder() {
    return Values().programFolder;
}
const std::string& ProgramFileName() {
    return Values().programFileName;
}
const std::string& SingleLogFileName() {
    return Values().singleLogFileName;
}
const std::string& StationName() {
    return Values().stationName;
}
const std::string& StationIdentity() {
    return Values().stationIdentity;
}
const std::string& ProgramVersion() {
    return Values().programVersion;
}

void InitIdentity(const std::string& programPath) {
    FillProgramPath(Values(), programPath);
}

void SetStationForTesting(const std::string& stationName, const std::string& stationIdentity) {
    Values().stationName = stationName;
    Values().stationIdentity = stationIdentity;
}

} // namespace cq
