#include "settings/SettingsValues.h"

namespace cq {

SettingsValues& Settings() {
    static SettingsValues values;
    return values;
}

} // namespace cq
