#pragma once
// Where the certification service lives unless the settings file says otherwise, and the mail
// domain of the operator's own staff. Kept together so that a move of the service is one edit.

#include <string_view>

namespace cq::service {

/// The service host's HTTPS URL, without a trailing "/".
inline constexpr std::string_view kHostUrl = "https://cert.quorix.ru";
/// Path of the request upload; the submission appends "?cert=" and the PEM request.
inline constexpr std::string_view kRequestPath = "/requp/";
/// Path of the certificate download; the download appends the address and ".crt".
inline constexpr std::string_view kReceivePath = "/certget/";

inline constexpr std::string_view kDefaultUrlRequestRSACertificate =
    "https://cert.quorix.ru/requp/";
inline constexpr std::string_view kDefaultUrlReceiveRSACertificate =
    "https://cert.quorix.ru/certget/";
inline constexpr std::string_view kDefaultUrlRequestGostCertificate =
    kDefaultUrlRequestRSACertificate;
inline constexpr std::string_view kDefaultUrlReceiveGostCertificate =
    kDefaultUrlReceiveRSACertificate;

/// The operator's own mail domain (the input rules treat its addresses specially).
inline constexpr std::string_view kOperatorMailDomain = "quorix.ru";

namespace detail {
constexpr bool IsJoined(std::string_view whole, std::string_view head, std::string_view tail) {
    return whole.size() == head.size() + tail.size() && whole.substr(0, head.size()) == head &&
           whole.substr(head.size()) == tail;
}
} // namespace detail

static_assert(detail::IsJoined(kDefaultUrlRequestRSACertificate, kHostUrl, kRequestPath));
static_assert(detail::IsJoined(kDefaultUrlReceiveRSACertificate, kHostUrl, kReceivePath));

} // namespace cq::service
