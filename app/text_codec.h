#pragma once

#include <QString>
#include <string>

// The window's edge: texts behind the widgets are Windows-1252 bytes.
QString FromWindows1252(const std::string& bytes);
// Characters Windows-1252 cannot hold become "?".
std::string ToWindows1252(const QString& text);
// For URLs: characters Windows-1252 cannot hold become the %XX escapes of their UTF-8 bytes.
std::string ToWindows1252Url(const QString& text);
