#pragma once

#include <cstdint>
#include <functional>

namespace zorva {

// The message pump that long operations on the user-interface thread call so
// that windows stay alive. The core only knows this interface; the platform
// layer installs the real one for the Qt event loop. Without an installed
// pump there is nothing to pump and PumpMessages answers true at once.
class MessagePump {
 public:
  virtual ~MessagePump() = default;
  // Dispatches every waiting event. Returns false when the program's quit
  // request was among them (it has been taken, see PumpingScope).
  virtual bool PumpMessages() = 0;
  // Lets the thread rest for at most ms milliseconds, waking early for
  // events. WaitPumping calls it between passes instead of spinning.
  virtual void Idle(uint32_t ms) = 0;
  // The outermost pumping operation of an event-loop level has returned: a
  // quit request taken by a pump inside it must be posted again so that the
  // program still ends.
  virtual void EndOfPumping() {}
  // The nesting depth of event loops (modal loops) on this thread. A modal
  // loop opened by a handler that a pump dispatched runs its own pumping
  // operations; a quit one of them takes goes back to that loop when it
  // returns, not only when the operation below the modal loop ends.
  virtual int LoopLevel() const { return 0; }
};

// Installs the pump used by PumpMessages and WaitPumping (nullptr: none).
void InstallMessagePump(MessagePump* pump);

// Marks a pumping operation (a wait, a download, the codec's encoding). When
// the outermost scope of the current event-loop level ends, the pump posts
// again a quit request it took.
class PumpingScope {
 public:
  PumpingScope();
  ~PumpingScope();
  PumpingScope(const PumpingScope&) = delete;
  PumpingScope& operator=(const PumpingScope&) = delete;
};

bool PumpMessages();

// Pumps until at least ms milliseconds have passed on the tick count (the
// unsigned difference of two 32-bit counts, so a wrap does not matter).
// Pumps at least once, also for 0.
void WaitPumping(double ms);

// Milliseconds since an arbitrary start, wrapping at 2^32.
uint32_t TickCount();

// Replaces the clock behind TickCount (tests); an empty function restores
// the steady clock.
void SetTickSource(std::function<uint32_t()> source);

}  // namespace zorva
