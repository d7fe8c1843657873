#pragma once
// Marks a class used only inside liborvo2: its members are not exported, so
// calls between them stay direct (no trip through the procedure linkage
// table) and can be inlined.

#define ORVO2_HIDDEN __attribute__((visibility("hidden")))
