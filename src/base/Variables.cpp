#include "base/Variables.h"

namespace cq {

std::string ExpandVariables(std::string_view text, const VariableLookup& lookup) {
    std::string out;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t open = text.find('%', pos);
        const size_t close = open == std::string_view::npos ? open : text.find('%', open + 1);
        if (close == std::string_view::npos) {
            out.append(text.substr(pos));
            break;
        }
        out.append(text.substr(pos, open - pos));
        const std::string name(text.substr(open + 1, close - open - 1));
        const std::optional<std::string> value = name.empty() ? std::nullopt : lookup(name);
        if (value) {
            out += *value;
            pos = close + 1;
        } else {
            out += '%';
            out += name;
            pos = close; // the closing % may open the next reference
        }
    }
    return out;
}

} // namespace cq
