#pragma once
// The command line of sandbox-ca: a subcommand followed by "--name value" options and flags.

#include <map>
#include <set>
#include <string>
#include <vector>

namespace sandbox {

class Arguments {
public:
    /// Reads argv[2...]; names in `flags` take no value. Throws std::runtime_error on a
    /// malformed line.
    Arguments(const std::vector<std::string>& words, const std::set<std::string>& flags);

    std::string text(const std::string& name, const std::string& fallback = {}) const;
    /// The option's value; throws when it is absent.
    std::string required(const std::string& name) const;
    int number(const std::string& name, int fallback) const;
    bool flag(const std::string& name) const;

private:
    std::map<std::string, std::string> values_;
    std::set<std::string> flags_;
};

} // namespace sandbox
