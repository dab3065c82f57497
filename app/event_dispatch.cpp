#include "event_dispatch.h"

#include "create_short_link.h"
#include "entry_actions.h"
#include "main_window.h"

namespace {
constexpr ColourValue kUrlFieldFocusedBackground = MakeColourValue(235, 235, 236);  // 15526891
constexpr ColourValue kUrlFieldBackground = MakeColourValue(255, 255, 255);         // 16777215
}  // namespace

void DispatchWidgetEvent(WidgetNumber widget, EventType type, MainWindow& window) {
    switch (widget) {
        case WidgetNumber::CreateButton:
            CreateShortLink(window.ReadUrlForRequest(), window);
            break;
        case WidgetNumber::PasteButton:
            window.PasteClipboardIntoUrlField();
            break;
        case WidgetNumber::DeleteButton:
            DeleteSelectedEntry(window);
            break;
        case WidgetNumber::EntryTree:
            if (type == EventType::PressOrLeftClick) ShowSelectedEntry(window);
            break;
        case WidgetNumber::UrlField:
            if (type == EventType::FocusGained) {
                window.SetColour(WidgetNumber::UrlField, ColourAttribute::BackgroundColour,
                                 kUrlFieldFocusedBackground);
            } else if (type == EventType::FocusLost) {
                window.SetColour(WidgetNumber::UrlField, ColourAttribute::BackgroundColour,
                                 kUrlFieldBackground);
            }
            break;
        default:
            break;
    }
}

bool HandleEvent(EventKind kind, WidgetNumber widget, EventType type, MainWindow& window) {
    switch (kind) {
        case EventKind::WidgetEvent:
            DispatchWidgetEvent(widget, type, window);
            return false;
        case EventKind::CloseRequest:
            return true;
        case EventKind::Nothing:
            return false;
    }
    return false;
}
