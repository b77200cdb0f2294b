#include "core/pump.h"

#include <chrono>
#include <thread>

namespace zorva {

namespace {

MessagePump* g_pump = nullptr;
int g_scopeDepth = 0;
std::function<uint32_t()> g_tickSource;

}  // namespace

void InstallMessagePump(MessagePump* pump) { g_pump = pump; }

PumpingScope::PumpingScope() { ++g_scopeDepth; }

PumpingScope::~PumpingScope() {
  if (--g_scopeDepth == 0 && g_pump) g_pump->EndOfPumping();
}

bool PumpMessages() {
  if (!g_pump) return true;
  PumpingScope scope;
  return g_pump->PumpMessages();
}

void WaitPumping(double ms) {
  PumpingScope scope;
  const uint32_t start = TickCount();
  for (;;) {
    PumpMessages();
    const uint32_t elapsed = TickCount() - start;
    if (static_cast<double>(elapsed) >= ms) return;
    // Rest no longer than the remaining time and never more than a
    // millisecond, so the pump keeps running while the wait lasts.
    if (g_pump) {
      g_pump->Idle(1);
    } else {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  }
}

uint32_t TickCount() {
  if (g_tickSource) return g_tickSource();
  using namespace std::chrono;
  auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  return static_cast<uint32_t>(ms);
}

void SetTickSource(std::function<uint32_t()> source) { g_tickSource = std::move(source); }

}  // namespace zorva
