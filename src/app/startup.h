// Start-up and shutdown of the game, on the main thread.
#pragma once

#include <cstdint>
#include <string>

// Prepares everything the game thread needs, one named step after another:
// folders, project data, settings, the drawing mode, the display and the
// window, palette and surfaces, options, music, sound effects, the world map
// and common palette, and a stage named on the command line. Anything but
// kStarted: the caller shuts down and exits (kFailed after the failing
// step's own message; kCancelled when the player cancelled the start dialog).
enum class StartupOutcome { kStarted, kCancelled, kFailed };
StartupOutcome InitGame(const char* commandLine, int showCommand);
// Releases what start-up built, in order (sound effects, music, scenes,
// display); safe on a partly built program.
void ShutdownGame();

// The message of a folder that holds no game (neither "data\" nor the
// "default\" to make it from), naming `folder` (CP932); its lines are short
// enough that a message box never breaks them again.
std::string NoGameHereText(const std::string& folder);

// The folders made at every start, in order.
extern const char* const kStartupFolders[22];
