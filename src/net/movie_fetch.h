#pragma once

#include <atomic>
#include <cstddef>
#include <optional>
#include <string>

#include "core/text.h"

namespace zorva {

// The most bytes of a movie the player takes; a longer body fails.
inline constexpr size_t kMovieFetchLimit = 64u << 20;

// HTTP GET of a movie with the client's transfer rules (agent, no
// redirects, http:// only, a 10 s connect time-out, a transfer that stalls
// for 30 s fails). The body exactly as it arrived, NUL bytes included, for
// status 200; nothing for another status, a URL that is not http://, a
// failed or cut transfer, or a body over kMovieFetchLimit. It blocks: run it
// off the user-interface thread. Setting *cancel makes it return nothing
// soon after.
std::optional<std::string> FetchMovie(const Text& url, const std::atomic<bool>* cancel = nullptr);

}  // namespace zorva
