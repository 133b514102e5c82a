#pragma once

namespace cq {

/// How a log record is written: as it stands, or after a prefix of time stamp and workstation
/// identity. The values are the record kinds the log format has always used.
enum class LogKind {
    Plain = 10,
    Stamped = 11,
};

/// What a record's text is: UTF-8, converted to the file's Windows-1251, or bytes written as
/// they are (a copy of what a peer sent).
enum class LogText {
    Utf8,
    Raw,
};

} // namespace cq
