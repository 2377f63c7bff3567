// The boot counter the board API reads (HalvoGetBootCounter): Linux keeps
// none, so a oneshot unit runs `halvo-agent --count-boot` once per boot.
#ifndef HALVO_AGENT_BOOT_COUNT_H
#define HALVO_AGENT_BOOT_COUNT_H

#include <cstdint>
#include <string>

namespace halvo::agent
{

// <root>/var/lib/halvo/boot-count, the file the host backend reads.
std::string bootCountPath(const std::string &root);

// Adds one to the counter (a missing file counts as 0) and stores it by
// rename, so a power cut leaves either the old or the new count. A file
// that does not hold a count is left alone for inspection: false, `error`
// says why.
bool advanceBootCount(const std::string &root, int64_t &count, std::string &error);

} // namespace halvo::agent

#endif
