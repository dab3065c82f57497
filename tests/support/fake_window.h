#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "entry_rows.h"
#include "window_ops.h"

// A window without widgets that records what the handlers do to it.
class FakeWindow final : public WindowOps {
public:
    struct Geometry {
        int x = 0, y = 0, width = 0, height = 0;
    };

    std::string ReadText(WidgetNumber widget) override;
    void SetText(WidgetNumber widget, const std::string& text) override;
    void SetColour(WidgetNumber widget, ColourAttribute attribute, ColourValue colour) override;
    void SetGeometry(WidgetNumber widget, int x, int y, int width, int height) override;
    void SetImage(WidgetNumber widget, ImageNumber image) override;
    void SetStatusText(int field, const std::string& text) override;
    std::string ReadClipboardText() override { return clipboard; }

    void SetEntryRows(EntryRows&& rows) override;
    int EntryRowCount() override { return rows.RowCount(); }
    std::string EntryRowText(int row) override { return rows.RowText(row); }
    int EntryRowLevel(int row) override { return rows.RowLevel(row); }
    int SelectedEntryRow() override { return selectedRow; }

    std::map<WidgetNumber, std::string> texts;
    std::map<std::pair<WidgetNumber, ColourAttribute>, ColourValue> colours;
    std::map<WidgetNumber, Geometry> geometry;
    std::map<WidgetNumber, ImageNumber> images;
    std::map<int, std::string> statusTexts;
    std::string clipboard;
    EntryRows rows;
    int selectedRow = -1;
    int refreshCount = 0;
    // Every call in order, e.g. "SetColour 14", "SetText 14", "SetImage 4".
    std::vector<std::string> calls;
};
