// pelmora-tool: one program with subcommands for tests and game authors.
// Each file kind the runtime reads adds itself to the commands through these
// registries (a static registrar in its own tools/*.cpp file).
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace plat {
class InputFile;
}

namespace tool {

// A subcommand: args are the words after its name; returns the exit code.
struct Command {
  std::string name;
  std::string usage;  // one line, shown by "pelmora-tool help"
  std::function<int(const std::vector<std::string>& args)> run;
  // More for "pelmora-tool COMMAND --help" after the usage line (the kinds,
  // modes or values the command takes), asked for when shown; empty: none.
  std::function<std::string()> details = nullptr;
};
void RegisterCommand(Command command);

// How the demo project is made: "make-demo DIR [--text-menu] [--force]".
struct DemoOptions {
  // The title's menu in its text form (system switch 11 on) rather than the
  // rows of the menu picture.
  bool textMenu = false;
};

// A part of the demo project: writes its files into the project folder
// (a Linux path: make-demo gives ".", the working folder being the folder it
// builds the project in); false after printing what failed and why.
struct DemoPart {
  int order;  // parts run in increasing order (data before what uses it)
  std::string name;
  std::function<bool(const std::string& folder, const DemoOptions& options)> build;
};
void RegisterDemoPart(DemoPart part);

struct Registrar {
  explicit Registrar(Command command) { RegisterCommand(std::move(command)); }
  explicit Registrar(DemoPart part) { RegisterDemoPart(std::move(part)); }
};

// Files the commands write (Linux paths), whole or not at all, through the
// one writer (platform/safe_write.h): a new temporary file beside `path`
// takes its place once every byte is in it; a device or a pipe is written
// in place and never replaced. A command's output: false after printing
// "COMMAND: PATH cannot be written (WHY)". `fill` writes a streamed file into
// the open one (false when it could not).
bool WriteOutputFile(const std::string& command, const std::string& path, const std::string& bytes);
bool WriteOutputFile(const std::string& command, const std::string& path,
                     const std::function<bool(std::FILE*)>& fill);
// Without a message (the demo's parts say which of their files failed,
// with LastWriteFailure's reason).
bool WriteWholeFile(const std::string& path, const std::string& bytes);
// Why the last of the files above could not be written ("No space left on
// device"), empty when it was.
const std::string& LastWriteFailure();
// Reads a whole regular file of at most `limit` bytes; false, with the reason
// in LastReadFailure() ("no such file", "Permission denied", "larger than
// ..."), when it cannot.
bool ReadWholeFile(const std::string& path, std::string& bytes, size_t limit = 256u << 20);
const std::string& LastReadFailure();

// A name the user gave (a file, a folder), as the messages print it: as
// it is while it is UTF-8 text; each byte that is not part of a UTF-8
// character, and each control character (a line break, an escape), as
// \xNN, and a backslash as \\. So a name of other bytes reads apart from
// every other name, and no name can start a line of a message of its own.
std::string Shown(const std::string& name);

// A line of text from elsewhere (a line of the game's log, a warning that
// quotes a statement's words), as the messages print it: as Shown prints a
// name, but with each backslash as it is (the game's paths are spelt with
// them).
std::string ShownText(const std::string& text);

// Why a file a command reads cannot be read as one: "no such file", "not a
// file: it is a folder" (a named pipe, a device ...); empty for a regular
// file (or a link to one). Every input file is checked with it before it is
// opened: a pipe would keep the command waiting for ever.
std::string InputFileProblem(const std::string& path);

// Opens an input of the picture commands (image, effect and text's IN,
// --palette) by its name as given, for the runtime's loaders to read through
// file.ProgramPath(): why it cannot be (InputFileProblem's words first, then
// the system's), empty when it is open.
std::string OpenInput(plat::InputFile& file, const std::string& name);
// The runtime's words for a picture that will not load ("NAME の読み込みに
// 失敗！"), naming the file as the user gave it.
std::string PictureLoadFailure(const std::string& name);
// Why the picture at `programPath` gives no palette: the loader's reason
// when it is no picture it reads ("not a BMP, PNG or JPEG file"), and for
// an 8-bit display (`eightBit`) one without an 8-bit picture's colour table,
// the only palette the game takes there; empty when it gives one.
std::string PaletteProblem(const std::string& programPath, bool eightBit);
// Loads the display's palette from the picture at `programPath` (NAME as
// the user gave it). A --palette (`given`) is checked with PaletteProblem
// first; IN, whose own colour table was found already, is not. False after
// printing "COMMAND: no palette in NAME (WHY)".
bool LoadPalette(const std::string& command, const std::string& name, const std::string& programPath, bool given,
                 bool eightBit);
// Prints "COMMAND: no palette in NAME (WHY)" ("(WHY)" left out when empty).
void SayNoPalette(const std::string& command, const std::string& name, const std::string& why);

// The numbers the commands take, one reader for all: a word is read whole,
// in decimal: an optional "-", digits, and a "." and digits for a fraction
// ("-12", "2.5"; no "+", no exponent, no spaces, no hexadecimal, no "inf").
// It must lie within lowest..highest, and be whole when `whole` says so (a
// fraction there is "not a whole number").
struct NumberRange {
  double lowest;
  double highest;
  bool whole;
  const char* takes;  // what the value takes, for the messages: "0, 1 or 2"
};
enum class NumberWord { kNumber, kNotANumber, kNotWhole, kOutOfRange };
NumberWord ReadNumberWord(const std::string& word, const NumberRange& range, double& value);
// For a command's value named `what` ("--size", "FONT_SETTING", "--set
// C1=", which the word follows without a space): false after printing
// "COMMAND: WHAT WORD is not a number (it takes TAKES)", "... is not a whole
// number ..." or "... is out of range ...".
bool ReadNumber(const std::string& command, const std::string& what, const std::string& word,
                const NumberRange& range, double& value);
// The whole numbers of a 32-bit signed value.
inline constexpr NumberRange kInt32Range{-2147483648.0, 2147483647.0, true,
                                         "a whole number from -2147483648 to 2147483647"};

}  // namespace tool
