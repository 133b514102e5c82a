#include "log/Identity.h"

#include "base/StringUtil.h"

namespace cq {
namespace {

struct StationValues {
    std::string stationName;
    std::string stationIdentity;
};

StationValues& Values() {
    static StationValues values = [] {
        const IdentitySources sources = ReadIdentitySources();
        return StationValues{MakeStationName(sources), MakeStationIdentity(sources)};
    }();
    return values;
}

} // namespace

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

const std::string& StationName() {
    return Values().stationName;
}
const std::string& StationIdentity() {
    return Values().stationIdentity;
}

void SetStationForTesting(const std::string& stationName, const std::string& stationIdentity) {
    Values().stationName = stationName;
    Values().stationIdentity = stationIdentity;
}

} // namespace cq
