// Text and path helpers over CP932 text. Paths are Windows-style: relative to
// the working folder, "\" as separator ("/" is accepted where the working
// folder's own path is involved).
//
// The buffer forms take `char` buffers of MAX_PATH bytes. None of them ever
// writes past MAX_PATH bytes: a result that would not fit fails with 0 and
// leaves a terminated buffer (an in-place form keeps its old text, a
// destination becomes empty). A text with no terminator in its first MAX_PATH
// bytes is too long: the call fails the same way, and an in-place buffer gets
// a terminator in its last byte.
#pragma once

#include <string>
#include <string_view>

constexpr int MAX_PATH = 260;

// True when the byte at `p` is a CP932 lead byte and the next one a trail byte.
bool IsDoubleByteChar(const char* p);

// Characters of a CP932 text: a lead/trail pair counts once, a line feed not
// at all, every other byte once.
int CountCharacters(const char* text);

// An absolute path becomes relative to the working folder ("..\" where
// needed, components joined with "\"); a relative path is left as it is.
// 1, or 0 when the working folder is unknown or the path cannot be related to it.
int MakeRelativePath(char* path);
int MakeRelativePathString(std::string& path);

// A relative path becomes the working folder joined with it, "." and ".."
// collapsed; an absolute path is left as it is. 1, or 0 when the working
// folder is unknown.
int MakeAbsolutePath(char* path);

// Keeps the text after the last "\" (not counting a final "\", nor a 0x5C
// that is the second byte of a double-byte character).
void StripDirectory(char* path);

// Copies `src` to `dst` with the text after its last "." replaced by `ext`,
// or with that "." and what follows removed when `ext` is null. 0 when there
// is no "." (then `dst` is a plain copy). The last "." of the whole path
// counts, even one in a folder name when the file name has none.
int ChangeExtension(char* dst, const char* src, const char* ext);

// Removes the last "." and what follows; 0 (text unchanged) without a ".".
int StripExtension(char* name);
int StripExtensionString(std::string& name);

// The text after the last "." ("" for a name ending in "."); 0 without a "."
// (then `dst` is empty).
int GetExtension(char* dst, const char* name);

// "Stage.stg4_1" and 2 give "Stage (2).stg4_1"; 0 without an extension (then
// `dst` is a plain copy of `src`).
int MakeNumberedName(char* dst, const char* src, int number);

// The base name with its extension changed to `ext` (null: removed), then the
// first existing name of base + "_999" down to base + "_000". 1 with that
// name in `dst`; 0 (`dst` empty) when none exists.
int FindLastNumberedFile(char* dst, const char* base, const char* ext);
int FindLastNumberedFileString(std::string& dst, std::string_view base, const char* ext);
