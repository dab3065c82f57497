#pragma once

#include <cstdint>
#include <string>

class EntryRows;

// Widget numbers of the main window. 9, 12 and 13 are not used.
enum class WidgetNumber : int {
    NewLinkFrame = 0,
    UrlField = 1,
    NoteEditor = 2,
    EntryTree = 3,
    ResultIcon = 4,
    GlobeView = 5,
    StarView = 6,
    DeleteButton = 7,
    FolderView = 8,
    PasteButton = 10,
    CreateButton = 11,
    MessageLabel = 14,
};

// Image numbers, a number space of their own; 6 and 7 are not used.
enum class ImageNumber : int {
    ImageSuccess = 0,
    ImageGlobe = 1,
    ImageStar = 2,
    ImageBin = 3,
    ImageWarning = 4,
    ImageError = 5,
    ImageFolderAdd = 8,
};

enum class EventKind : int { Nothing = 0, WidgetEvent = 13100, CloseRequest = 16 };
enum class EventType : int { PressOrLeftClick = 0, FocusGained = 14000, FocusLost = 14001 };

enum class ColourAttribute : int { TextColour = 1, BackgroundColour = 2 };

// Blue * 65536 + green * 256 + red.
using ColourValue = std::uint32_t;
constexpr ColourValue MakeColourValue(int red, int green, int blue) {
    return static_cast<ColourValue>(blue) * 65536 + static_cast<ColourValue>(green) * 256 +
           static_cast<ColourValue>(red);
}

// Geometry value that leaves that coordinate or extent as it is.
inline constexpr int kKeep = -1;

// The widget operations the handlers use. Texts are Windows-1252 bytes; the window converts at
// its edge. An operation on a number without a widget does nothing and reads give "".
class WindowOps {
public:
    virtual ~WindowOps() = default;

    virtual std::string ReadText(WidgetNumber widget) = 0;
    virtual void SetText(WidgetNumber widget, const std::string& text) = 0;
    virtual void SetColour(WidgetNumber widget, ColourAttribute attribute, ColourValue colour) = 0;
    virtual void SetGeometry(WidgetNumber widget, int x, int y, int width, int height) = 0;
    virtual void SetImage(WidgetNumber widget, ImageNumber image) = 0;
    virtual void SetStatusText(int field, const std::string& text) = 0;
    virtual std::string ReadClipboardText() = 0;

    // Rows of EntryTree, numbered from 0 in the order added (every row expanded).
    virtual void SetEntryRows(EntryRows&& rows) = 0;
    virtual int EntryRowCount() = 0;
    virtual std::string EntryRowText(int row) = 0;
    virtual int EntryRowLevel(int row) = 0;
    // -1 when no row is selected.
    virtual int SelectedEntryRow() = 0;
};
