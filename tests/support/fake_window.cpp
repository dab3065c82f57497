#include "fake_window.h"

namespace {
std::string Describe(const char* operation, WidgetNumber widget) {
    return std::string(operation) + " " + std::to_string(static_cast<int>(widget));
}
}  // namespace

std::string FakeWindow::ReadText(WidgetNumber widget) {
    auto it = texts.find(widget);
    return it == texts.end() ? std::string() : it->second;
}

void FakeWindow::SetText(WidgetNumber widget, const std::string& text) {
    texts[widget] = text;
    calls.push_back(Describe("SetText", widget));
}

void FakeWindow::SetColour(WidgetNumber widget, ColourAttribute attribute, ColourValue colour) {
    colours[{widget, attribute}] = colour;
    calls.push_back(Describe("SetColour", widget));
}

void FakeWindow::SetGeometry(WidgetNumber widget, int x, int y, int width, int height) {
    Geometry& g = geometry[widget];
    if (x != kKeep) g.x = x;
    if (y != kKeep) g.y = y;
    if (width != kKeep) g.width = width;
    if (height != kKeep) g.height = height;
    calls.push_back(Describe("SetGeometry", widget));
}

void FakeWindow::SetImage(WidgetNumber widget, ImageNumber image) {
    images[widget] = image;
    calls.push_back(Describe("SetImage", widget));
}

void FakeWindow::SetStatusText(int field, const std::string& text) {
    statusTexts[field] = text;
    calls.push_back("SetStatusText " + std::to_string(field));
}

void FakeWindow::SetEntryRows(EntryRows&& newRows) {
    rows = std::move(newRows);
    selectedRow = -1;
    ++refreshCount;
    calls.push_back("SetEntryRows");
}
