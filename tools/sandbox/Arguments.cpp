#include "Arguments.h"

#include <stdexcept>

namespace sandbox {

Arguments::Arguments(const std::vector<std::string>& words, const std::set<std::string>& flags) {
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word.rfind("--", 0) != 0)
            throw std::runtime_error("unexpected argument: " + word);
        const std::string name = word.substr(2);
        if (flags.count(name)) {
            flags_.insert(name);
            continue;
        }
        if (i + 1 >= words.size())
            throw std::runtime_error("missing value for " + word);
        values_[name] = words[++i];
    }
}

std::string Arguments::text(const std::string& name, const std::string& fallback) const {
    const auto found = values_.find(name);
    return found == values_.end() ? fallback : found->second;
}

std::string Arguments::required(const std::string& name) const {
    const auto found = values_.find(name);
    if (found == values_.end())
        throw std::runtime_error("missing option --" + name);
    return found->second;
}

int Arguments::number(const std::string& name, int fallback) const {
    const auto found = values_.find(name);
    if (found == values_.end())
        return fallback;
    size_t used = 0;
    const int value = std::stoi(found->second, &used);
    if (used != found->second.size())
        throw std::runtime_error("not a number: --" + name + " " + found->second);
    return value;
}

bool Arguments::flag(const std::string& name) const {
    return flags_.count(name) != 0;
}

} // namespace sandbox
