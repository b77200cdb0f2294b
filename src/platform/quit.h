#pragma once

#include "core/pump.h"

namespace zorva {

// The program's quit request is an event of its own, posted to the
// application, so that a message pump can see it and take it. Handling it
// ends every running event loop (modal dialogs included) with the code.
void PostQuitMessage(int exitCode);

// The exit code of the last quit request handled, or -1 when none was.
int HandledQuitCode();
// Forgets the handled quit request (tests that run start-up more than once).
void ResetHandledQuitCode();

// The pump for the Qt event loop. Install it once the QApplication exists.
// A quit request taken by a pump is posted again when the outermost pumping
// operation of its event-loop level returns, so the program still ends.
class QtMessagePump : public MessagePump {
 public:
  bool PumpMessages() override;
  void Idle(uint32_t ms) override;
  void EndOfPumping() override;
  int LoopLevel() const override;

 private:
  int m_takenQuitCode = -1;
};

// Installs a process-wide QtMessagePump (idempotent).
void InstallQtMessagePump();

}  // namespace zorva
