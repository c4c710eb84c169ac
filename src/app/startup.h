// Start-up and shutdown of the game, on the main thread.
#pragma once

#include <cstdint>

// Prepares everything the game thread needs; false after the failure's own
// message (the caller then shuts down and exits).
bool InitGame(const char* commandLine, int showCommand);
// Releases what start-up built; safe on a partly built program.
void ShutdownGame();

// The folders made at every start, in order.
extern const char* const kStartupFolders[22];
