#pragma once

// A frame clock that stands still until the test moves the time it reads.

#include <cstdint>

#include "controls/timeline_player.h"

namespace zorva::test {

class ManualFrameClock : public FrameClock {
 public:
  explicit ManualFrameClock(int64_t* now) : m_now(now) {}
  int64_t NowMs() override { return *m_now; }

 private:
  int64_t* m_now;
};

}  // namespace zorva::test
