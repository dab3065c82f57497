#pragma once

#include <string>
#include <string_view>
#include <variant>

#include "http_message.h"

class LinkStore;

// The answer texts the client shows; Windows-1252, and none holds "http://", which the client
// would take for a short link.
inline constexpr char kMessageBadRequest[] = "Ung\xFCltige Anfrage";
inline constexpr char kMessageNoUrl[] = "Keine URL angegeben";
inline constexpr char kMessageInvalidUrl[] = "Ung\xFCltige URL";
inline constexpr char kMessageUrlTooLong[] = "URL zu lang";
inline constexpr char kMessageOwnLink[] = "Die URL ist schon ein Kurzlink";
inline constexpr char kMessageLinkNotFound[] = "Kurzlink nicht gefunden";
inline constexpr char kMessagePageNotFound[] = "Seite nicht gefunden";
inline constexpr char kMessageMethodNotAllowed[] = "Methode nicht erlaubt";
inline constexpr char kMessageRequestTimeout[] =
    "Zeit\xFC"
    "berschreitung beim Lesen der Anfrage";
inline constexpr char kMessageRequestTooLarge[] = "Anfrage zu gro\xDF";
inline constexpr char kMessageInternalError[] = "Interner Fehler";
inline constexpr char kMessageBusy[] =
    "Dienst \xFC"
    "berlastet, bitte sp\xE4ter erneut versuchen";

struct CreateLinkRequest {
    std::string longUrl;  // decoded and checked
};

struct FollowLinkRequest {
    std::string code;
};

// What a request asks for, or the answer that refuses it.
using ServiceRequest = std::variant<CreateLinkRequest, FollowLinkRequest, HttpAnswer>;

// Reads a request head: "GET /index.php?longurl=U" creates a link for U (the whole rest of the
// query, percent-decoded), "GET /CODE" follows one. The target may be absolute
// ("http://host/index.php?...") or start at the path; header lines are ignored.
ServiceRequest ParseServiceRequest(std::string_view head, std::string_view serviceHost);

// The answer to a parsed request: the short link "http://<serviceHost>/<code>", a redirect to
// the long URL, or a refusal. Store failures become a 500 answer.
HttpAnswer AnswerServiceRequest(const ServiceRequest& request, LinkStore& store,
                                std::string_view serviceHost);
