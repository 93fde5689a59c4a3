#pragma once

#include <string>
#include <string_view>

namespace tocd {

class Service;

/// Longest request head (request line and headers) read before answering 431.
inline constexpr std::size_t MaxHttpRequestHead = 8192;

/// Answers one HTTP request for a profile page: "GET /info?user=NAME" gives the stored profile as
/// text/html, an unregistered name or any other path 404, other methods 405, a request that does
/// not parse 400. `head` is the request line and headers. The connection closes after it.
std::string HttpResponse(std::string_view head, const Service& service);

/// The response for a request head longer than MaxHttpRequestHead.
std::string HttpHeadTooLarge();

} // namespace tocd
