// Helpers shared by the Wine tests and GUI scenarios.
#pragma once
