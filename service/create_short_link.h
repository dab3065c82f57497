#pragma once

#include <string>

class WindowOps;

// The service's host name, fixed at build time.
extern const char* const ServiceHost;

// "Erstellen": asks the service for a short link for longUrl (Windows-1252 bytes), shows the
// outcome and stores a new link with NoteEditor's text.
void CreateShortLink(const std::string& longUrl, WindowOps& window);
