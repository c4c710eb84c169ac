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

// Whether the working folder holds a game: its "data\" folder, or the
// "default\" one to make it from. Start-up's first step and the command
// line's reading of a game folder ask this one question.
bool WorkingFolderHoldsGame();

// The stage file that `name` (a command line's stage file, CP932) reaches
// from the working folder as start-up reads it: the newest numbered version
// of the name with the stage extension, else the name itself; empty when
// neither exists.
std::string FindCommandLineStage(const std::string& name);

// The message of a folder that holds no game (neither "data\" nor the
// "default\" to make it from), naming `folder` (CP932); its lines are short
// enough that a message box never breaks them again.
std::string NoGameHereText(const std::string& folder);
// The message of a command line's word that is neither a folder holding a
// game nor a stage file, said where the working folder holds no game either:
// it names the word as typed and that `folder` (CP932), its lines as short.
std::string NothingToPlayText(const std::string& word, const std::string& folder);

// The folders made at every start, in order.
extern const char* const kStartupFolders[22];
