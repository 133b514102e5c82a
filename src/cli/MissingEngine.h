#pragma once
// The cause and the remedy after "no provider" and similar errors, when the software GOST
// provider is missing because its engine is: what the window's box does not say, the console
// does.

#include "provider/ProviderRegistry.h"

#include <iostream>

namespace cq::cli {

/// Prints why the software GOST provider is missing and what to do, when it is.
inline void TellMissingEngine() {
    const std::string text = provider::MissingSoftwareProviderText();
    if (!text.empty())
        std::cerr << text << "\n";
}

} // namespace cq::cli
