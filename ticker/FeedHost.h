// The feed service host of the category feed addresses.
#pragma once

// Builds the feed addresses once, at start-up, before the first category
// lookup: for the host stored as REG_SZ "FEEDHOST" ("host" or "host:port")
// under the settings key when that value is present, non-empty and
// well-formed, otherwise for the host built into the program. Returns the
// host in use (valid until the addresses are built again).
const char* LoadFeedHost();
