#pragma once

#include <string>
#include <string_view>

class QWebEngineProfile;

namespace zorva {

// Prepares the process for Qt WebEngine. Call it before the QApplication
// exists: the browser reads its switches once, at its first start, and
// URL schemes must be known before then. It turns the sandbox off when the
// program runs as root (the sandbox refuses to start then) and the GPU off
// where there is no render node (drawing the page with Qt Quick's software
// renderer then, with no OpenGL loaded), plays sound from this process and
// without a click,
// and registers the scheme the movie player's page is served from. Settings
// already in the environment are kept.
void PrepareWebEngine();

// Adds a browser switch ("--name" or "--name=value") to a space-separated
// list unless the list already holds a switch of that whole name, with any
// value: switches given in the environment win.
void AddChromiumSwitch(std::string& switches, std::string_view name);

// True once PrepareWebEngine has run in this process.
bool WebEnginePrepared();

// True where the machine has a GPU render node the web engine can draw with.
bool WebEngineHasGpu();

// The scheme of the movie player's page and of the movies handed to it
// ("zorva-player://app/...").
inline constexpr char kPlayerScheme[] = "zorva-player";

// The one browser profile every web view of the program uses, so the program
// pays for one browser set-up. Off the record: nothing is written to disk.
// Created on first use, after the QApplication exists.
QWebEngineProfile* SharedWebProfile();

}  // namespace zorva
