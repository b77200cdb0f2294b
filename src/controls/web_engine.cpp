#include "controls/web_engine.h"

#include <QCoreApplication>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlScheme>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <system_error>

#include <unistd.h>

namespace zorva {

namespace {

bool HasRenderNode() {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/dev/dri", error)) {
    if (entry.path().filename().string().starts_with("renderD")) return true;
  }
  return false;
}

bool g_prepared = false;

}  // namespace

void AddChromiumSwitch(std::string& switches, std::string_view name) {
  const std::string_view bare = name.substr(0, name.find('='));
  std::istringstream given{switches};
  std::string token;
  while (given >> token) {
    if (std::string_view(token).substr(0, token.find('=')) == bare) return;
  }
  if (!switches.empty()) switches += ' ';
  switches += name;
}

void PrepareWebEngine() {
  if (g_prepared) return;
  g_prepared = true;
  // Not marked secure: the page must reach the service's plain http://
  // addresses (the movies' own loads) without mixed-content blocking.
  QWebEngineUrlScheme scheme(kPlayerScheme);
  scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
  scheme.setFlags(QWebEngineUrlScheme::CorsEnabled);
  QWebEngineUrlScheme::registerScheme(scheme);
  if (geteuid() == 0) setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
  const char* given = std::getenv("QTWEBENGINE_CHROMIUM_FLAGS");
  std::string switches = given ? given : "";
  if (!WebEngineHasGpu()) {
    AddChromiumSwitch(switches, "--disable-gpu");
    // The web view shows the page through Qt Quick. Without a GPU its OpenGL
    // path runs on a software rasteriser that costs more memory and CPU than
    // the page itself; Qt Quick's software renderer only copies the picture.
    setenv("QT_QUICK_BACKEND", "software", 0);
    // Nothing then draws with OpenGL, yet the X connection would still load
    // the software rasteriser (Mesa with LLVM, about 35 MiB) to offer it.
    setenv("QT_XCB_GL_INTEGRATION", "none", 0);
  }
  // The renderer's C library allocator keeps a pool per thread, and freed
  // blocks between live ones stay with it: about 40 MiB of its heap was
  // freed memory, left by blocks of 32 to 64 KiB (the size of the script
  // engine's compile scratch, which compiles the player's core function by
  // function). Two pools, and blocks from 32 KiB up mapped and returned on
  // their own, keep the heap to what is in use, for one or two points more
  // CPU. The helper processes read these when they start.
  setenv("MALLOC_ARENA_MAX", "2", 0);
  setenv("MALLOC_MMAP_THRESHOLD_", "32768", 0);
  setenv("MALLOC_TRIM_THRESHOLD_", "131072", 0);
  AddChromiumSwitch(switches, "--autoplay-policy=no-user-gesture-required");
  // The program's web views show its own pages and the service's: nothing
  // is fetched in the background, updated or extended, and they share one
  // renderer process (the lesson window's player and the announcements).
  AddChromiumSwitch(switches, "--disable-background-networking");
  AddChromiumSwitch(switches, "--disable-component-update");
  AddChromiumSwitch(switches, "--disable-extensions");
  AddChromiumSwitch(switches, "--renderer-process-limit=1");
  // Sound goes out from the program's own process: a process of its own
  // for the one player's sound costs about 20 MiB.
  AddChromiumSwitch(switches, "--disable-features=AudioServiceOutOfProcess");
  // With sound and the network inside the program no helper runs without
  // the sandbox, so the browser's second zygote, kept ready to start such
  // helpers, is not started (about 14 MiB).
  AddChromiumSwitch(switches, "--no-unsandboxed-zygote");
  // Ruffle's core is a large WebAssembly module of which a lesson movie
  // runs a small part: compile functions when first called, not all of it
  // before the first frame.
  AddChromiumSwitch(switches, "--js-flags=--wasm-lazy-compilation");
  setenv("QTWEBENGINE_CHROMIUM_FLAGS", switches.c_str(), 1);
  // Web views in widgets share their GL context with the application.
  if (WebEngineHasGpu()) QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

bool WebEnginePrepared() { return g_prepared; }

bool WebEngineHasGpu() {
  static const bool gpu = HasRenderNode();
  return gpu;
}

QWebEngineProfile* SharedWebProfile() {
  static QWebEngineProfile* profile = [] {
    auto* created = new QWebEngineProfile(QCoreApplication::instance());
    created->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    created->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    created->settings()->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
    return created;
  }();
  return profile;
}

}  // namespace zorva
