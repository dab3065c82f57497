#include "request_router.h"

#include <cstdio>
#include <exception>
#include <optional>

#include "link_store.h"
#include "long_url.h"

namespace {

constexpr std::string_view kCreatePath = "/index.php";
constexpr std::string_view kLongUrlKey = "longurl=";

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

// The path and query of an origin-form ("/...") or absolute ("http://host/...") target.
std::optional<std::string> PathAndQuery(std::string_view target) {
    if (target.starts_with('/')) return std::string(target);
    for (std::string_view scheme : {"http://", "https://"}) {
        if (!StartsWithIgnoringCase(target, scheme)) continue;
        const std::string_view rest = target.substr(scheme.size());
        const std::size_t pathStart = rest.find_first_of("/?");
        if (pathStart == std::string_view::npos) return std::string("/");
        if (rest[pathStart] == '?') return "/" + std::string(rest.substr(pathStart));
        return std::string(rest.substr(pathStart));
    }
    return std::nullopt;
}

// The still encoded long URL: everything after "longurl=", which is the first parameter or
// follows an "&". The client writes "&" inside the URL as "%26", but callers that do not are
// served too, as the rest of the query is taken whole.
std::optional<std::string_view> EncodedLongUrl(std::string_view query) {
    if (query.starts_with(kLongUrlKey)) return query.substr(kLongUrlKey.size());
    const std::size_t key = query.find("&longurl=");
    if (key == std::string_view::npos) return std::nullopt;
    return query.substr(key + 1 + kLongUrlKey.size());
}

ServiceRequest ParseCreate(std::string_view query, std::string_view serviceHost) {
    const auto encoded = EncodedLongUrl(query);
    if (!encoded) return TextAnswer(400, kMessageNoUrl);
    std::string longUrl = PercentDecode(*encoded);
    switch (CheckLongUrl(longUrl, serviceHost)) {
        case LongUrlVerdict::Valid:
            return CreateLinkRequest{std::move(longUrl)};
        case LongUrlVerdict::Empty:
            return TextAnswer(400, kMessageNoUrl);
        case LongUrlVerdict::TooLong:
            return TextAnswer(400, kMessageUrlTooLong);
        case LongUrlVerdict::Malformed:
            return TextAnswer(400, kMessageInvalidUrl);
        case LongUrlVerdict::PointsAtService:
            return TextAnswer(400, kMessageOwnLink);
    }
    return TextAnswer(400, kMessageInvalidUrl);
}

template <class... Handlers>
struct Overloaded : Handlers... {
    using Handlers::operator()...;
};
// Clang before 17 deduces no aggregate's template arguments by itself.
template <class... Handlers>
Overloaded(Handlers...) -> Overloaded<Handlers...>;

}  // namespace

ServiceRequest ParseServiceRequest(std::string_view head, std::string_view serviceHost) {
    const auto line = ParseRequestLine(head);
    if (!line) return TextAnswer(400, kMessageBadRequest);
    if (line->method != "GET") {
        HttpAnswer refusal = TextAnswer(405, kMessageMethodNotAllowed);
        refusal.extraHeaders.emplace_back("Allow", "GET");
        return refusal;
    }
    const auto pathAndQuery = PathAndQuery(line->target);
    if (!pathAndQuery) return TextAnswer(400, kMessageBadRequest);

    const std::string_view whole = *pathAndQuery;
    const std::size_t questionMark = whole.find('?');
    const std::string_view path = whole.substr(0, questionMark);
    const std::string_view query = questionMark == std::string_view::npos
                                       ? std::string_view()
                                       : whole.substr(questionMark + 1);

    if (path == kCreatePath) return ParseCreate(query, serviceHost);
    if (IsShortCode(path.substr(1))) return FollowLinkRequest{std::string(path.substr(1))};
    return TextAnswer(404, kMessagePageNotFound);
}

HttpAnswer AnswerServiceRequest(const ServiceRequest& request, LinkStore& store,
                                std::string_view serviceHost) {
    try {
        return std::visit(Overloaded{
                              [&](const CreateLinkRequest& create) {
                                  const std::string code = store.CodeFor(create.longUrl);
                                  return TextAnswer(
                                      200, "http://" + std::string(serviceHost) + "/" + code);
                              },
                              [&](const FollowLinkRequest& follow) {
                                  const auto longUrl = store.LongUrlFor(follow.code);
                                  if (!longUrl) return TextAnswer(404, kMessageLinkNotFound);
                                  HttpAnswer redirect = TextAnswer(301, "");
                                  redirect.extraHeaders.emplace_back("Location", *longUrl);
                                  return redirect;
                              },
                              [](const HttpAnswer& refusal) { return refusal; },
                          },
                          request);
    } catch (const std::exception& error) {
        // Shown on the service's console; the client only learns that it failed.
        std::fprintf(stderr, "shortlink-service: %s\n", error.what());
        return TextAnswer(500, kMessageInternalError);
    }
}
