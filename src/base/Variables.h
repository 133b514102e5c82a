#pragma once
// %NAME% references expanded with values from a lookup of the caller's: this process's
// environment (ExpandEnvironmentStrings), or the variables another user's session would have.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace cq {

/// A variable's value by name, or nothing when it is not set.
using VariableLookup = std::function<std::optional<std::string>(const std::string& name)>;

/// Expands %NAME% references with the values `lookup` gives; unknown names are kept as written.
std::string ExpandVariables(std::string_view text, const VariableLookup& lookup);

} // namespace cq
