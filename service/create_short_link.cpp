#include "create_short_link.h"

#include "create_short_link_internal.h"
#include "entry_actions.h"
#include "http_fetch.h"
#include "store_file.h"
#include "window_ops.h"

#ifndef VEMO_SERVICE_HOST
#error "VEMO_SERVICE_HOST must name the short-link service's host"
#endif

const char* const ServiceHost = VEMO_SERVICE_HOST;

namespace {

constexpr int kNarrowUrlFieldWidth = 480;
constexpr char kLinkScheme[] = "http://";

constexpr ColourValue kNoUrlColour = MakeColourValue(255, 122, 22);
constexpr ColourValue kFailureColour = MakeColourValue(255, 22, 22);
constexpr ColourValue kSuccessColour = MakeColourValue(107, 210, 103);
constexpr char kNoUrlText[] = "Keine URL Eingegeben";
constexpr char kSuccessText[] = "Erfolgreich eingetragen";

bool NeedsEscape(unsigned char byte) { return byte == '&' || byte < 0x20 || byte == 0x7F; }

void ShowOutcome(WindowOps& window, ColourValue colour, const std::string& text) {
    window.SetColour(WidgetNumber::MessageLabel, ColourAttribute::TextColour, colour);
    window.SetText(WidgetNumber::MessageLabel, text);
}

}  // namespace

std::string BuildRequestUrl(const std::string& longUrl) {
    static constexpr char kHexDigits[] = "0123456789ABCDEF";
    std::string url = std::string("http://") + ServiceHost + "/index.php?longurl=";
    url.reserve(url.size() + longUrl.size());
    for (const char byte : longUrl) {
        const auto value = static_cast<unsigned char>(byte);
        if (NeedsEscape(value)) {
            url += '%';
            url += kHexDigits[value >> 4];
            url += kHexDigits[value & 0x0F];
        } else {
            url += byte;
        }
    }
    return url;
}

void CreateShortLinkWith(const std::string& longUrl, WindowOps& window,
                         const FetchFunction& fetch) {
    window.SetGeometry(WidgetNumber::UrlField, kKeep, kKeep, kNarrowUrlFieldWidth, kKeep);
    if (longUrl.empty()) {
        ShowOutcome(window, kNoUrlColour, kNoUrlText);
        window.SetImage(WidgetNumber::ResultIcon, ImageNumber::ImageWarning);
        return;
    }

    const std::string answer = fetch(BuildRequestUrl(longUrl), kFetchTimeoutMs);
    if (answer.find(kLinkScheme) == std::string::npos) {
        ShowOutcome(window, kFailureColour, answer);
        window.SetImage(WidgetNumber::ResultIcon, ImageNumber::ImageError);
        return;
    }

    // The link as the store keeps and lists it: a line break at its end would otherwise make
    // the duplicate test miss it and hide every later entry. The field shows that same form, so
    // "Erstellen" again, a copy and a later click on the entry all give the same text.
    const std::string shortLink = StoreSafeText(answer);
    window.SetImage(WidgetNumber::ResultIcon, ImageNumber::ImageSuccess);
    window.SetText(WidgetNumber::UrlField, shortLink);
    if (ReadStoreLine().find(shortLink) == std::string::npos) {
        AppendStoreRecord(shortLink, window.ReadText(WidgetNumber::NoteEditor));
        window.SetText(WidgetNumber::NoteEditor, std::string());
    }
    ShowOutcome(window, kSuccessColour, kSuccessText);
    RefreshEntryList(window);
}

void CreateShortLink(const std::string& longUrl, WindowOps& window) {
    CreateShortLinkWith(longUrl, window, FetchHttp);
}
