// Start-up and shutdown of the game, on the main thread.
#pragma once

#include <cstdint>

// Prepares everything the game thread needs, one named step after another:
// folders, project data, settings, the drawing mode, the display and the
// window, palette and surfaces, options, music, sound effects, the world map
// and common palette, and a stage named on the command line. False after the
// failing step's own message (the caller then shuts down and exits).
bool InitGame(const char* commandLine, int showCommand);
// Releases what start-up built, in order (sound effects, music, scenes,
// display); safe on a partly built program.
void ShutdownGame();

// The folders made at every start, in order.
extern const char* const kStartupFolders[22];
