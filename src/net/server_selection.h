#pragma once

#include <vector>

#include "core/text.h"

namespace zorva {

// The candidate base addresses in the order they are tried: the build's
// three, or the three of ZORVA_SERVER_CANDIDATES ("a;b;c") when it is set.
std::vector<Text> ServerCandidates();

// Probes the candidates in order and stores the first that answers the probe
// with exactly "your internet is ok!" as the server base address; the empty
// text when none does.
void SelectServer();

}  // namespace zorva
