#include "core/pump.h"

#include <chrono>
#include <thread>
#include <vector>

namespace zorva {

namespace {

MessagePump* g_pump = nullptr;
// The event-loop level of each pumping operation under way, innermost last.
std::vector<int> g_scopeLevels;
std::function<uint32_t()> g_tickSource;

}  // namespace

void InstallMessagePump(MessagePump* pump) { g_pump = pump; }

PumpingScope::PumpingScope() { g_scopeLevels.push_back(g_pump ? g_pump->LoopLevel() : 0); }

PumpingScope::~PumpingScope() {
  const int level = g_scopeLevels.back();
  g_scopeLevels.pop_back();
  const bool outermost = g_scopeLevels.empty() || g_scopeLevels.back() != level;
  if (outermost && g_pump) g_pump->EndOfPumping();
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
    // Written so that a wait of NaN ends too.
    if (!(static_cast<double>(elapsed) < ms)) return;
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
