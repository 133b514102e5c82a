#pragma once

namespace cq {

/// How a log record is written: as it stands, or after a prefix of time stamp and workstation
/// identity. The values are the record kinds the log format has always used.
enum class LogKind {
    Plain = 10,
    Stamped = 11,
};

} // namespace cq
