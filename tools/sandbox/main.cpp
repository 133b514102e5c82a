// sandbox-ca: plays the certification service on loopback for the tests and the demo.

#include "Commands.h"

#include <cstdio>
#include <map>

namespace {

constexpr const char* kUsage =
    "usage: sandbox-ca init --dir DIR\n"
    "       sandbox-ca client-cert --dir DIR --out FOLDER [--password P] [--cert-name NAME]\n"
    "                              [--key-name NAME] [--self-signed]\n"
    "       sandbox-ca serve --dir DIR [--port N] [--port-file FILE] [--issue-delay SECONDS]\n"
    "       sandbox-ca issue --dir DIR --email ADDRESS [--days N] [--expired]\n"
    "       sandbox-ca lifetime --dir DIR --email ADDRESS --days N\n";

} // namespace

int main(int argc, char** argv) {
    using Command = int (*)(const std::vector<std::string>&);
    const std::map<std::string, Command> commands = {
        {"init", sandbox::RunInit},         {"client-cert", sandbox::RunClientCert},
        {"serve", sandbox::RunServe},       {"issue", sandbox::RunIssue},
        {"lifetime", sandbox::RunLifetime},
    };
    const auto found = argc >= 2 ? commands.find(argv[1]) : commands.end();
    if (found == commands.end()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    return found->second(std::vector<std::string>(argv + 2, argv + argc));
}
