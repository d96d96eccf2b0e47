// The names under which the ticker's settings are stored, and the category a
// fresh installation starts with. Setup writes them, the ticker reads and
// writes them, and the tests look at them: each is spelled here once.
#pragma once

// Under HKEY_LOCAL_MACHINE. The ticker itself takes the path from its string
// resource 102; Setup and the tests use this one.
constexpr char kSettingsKey[] = "Software\\Vantrel";

// REG_DWORD: the chosen category's code.
constexpr char kUrlCodeValue[] = "URLCODE";
// REG_SZ: the proxy server, asked when the system's Internet settings cannot
// reach the feed address (or open no session at all).
constexpr char kProxyValue[] = "PROXY";
// REG_SZ, optional: the feed service's "host" or "host:port".
constexpr char kFeedHostValue[] = "FEEDHOST";

// "India news": what Setup stores and what Preferences selects when no stored
// code names a category.
constexpr int kDefaultCategoryCode = 282;
