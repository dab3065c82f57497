#pragma once

#include "window_ops.h"

class MainWindow;

// Acts on one widget report as the dispatch table says.
void DispatchWidgetEvent(WidgetNumber widget, EventType type, MainWindow& window);

// One event of the loop; returns true when the loop is to end.
bool HandleEvent(EventKind kind, WidgetNumber widget, EventType type, MainWindow& window);
