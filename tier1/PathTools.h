// Path and file-name functions: take apart, build and clean up paths held in
// caller-supplied character buffers. They keep no state.
//
// The separator is '/'. Most functions recognise only '/'; the backslash counts as a
// separator only where a function says so. Where a function turns separators into '/',
// it says so too.
//
// Buffer sizes are in bytes and include the terminator. Results that do not fit are
// truncated silently and always terminated when the size is at least 1; a size of 0 or
// less writes nothing. The only reports are the three fatal ones named below, made
// through the runtime's Error; should Error return, the function leaves its buffer
// terminated and never writes past it.
#pragma once

// Removes one trailing '/', if there is one.
void V_StripTrailingSlash(char* path);
// Appends '/' to a path that is not empty and does not already end in '/'. When the
// slash and the terminator do not both fit (length + 1 >= size), reports
// "V_AppendSlash: ran out of space on <path>." through Error and leaves the path as it
// was.
void V_AppendSlash(char* path, int size);
// Replaces every '/' and every backslash with `separator`.
void V_FixSlashes(char* path, char separator = '/');
// True when the first character is '/' or a backslash, or the second is ':' (a drive).
bool V_IsAbsolutePath(const char* path);

// Cuts the path at its last '/', removing the slash and everything after it: "a/b/c.txt"
// gives "a/b", "a/b/" gives "a/b", "c.txt" gives "". Paths of 0 or 1 characters are left
// alone.
void V_StripFilename(char* path);
// Removes the last directory component, keeping the slash before it: "a/b/c" and
// "a/b/c/" both give "a/b/". A single component gives "./" (as far as maxLength allows).
// Returns false, leaving the text unchanged, for "", "./", ".\" and "/" (the root has no
// parent to go up to). Turns every separator into '/' when it returns true. Only '/'
// separates components in the search.
bool V_StripLastDir(char* dirName, int maxLength);
// Pointer into `path` just after the last '/' that comes before its final character
// ("a/b/" gives "b/"); the path itself when there is none, or when it is empty.
const char* V_UnqualifiedFileName(const char* path);
// Copies the directory part of `path`, with its trailing '/', into dest: "a/b/c.txt"
// gives "a/b/". The final component is everything after the last '/' that precedes the
// last character, so "a/b/" gives "a/". Returns whether anything was copied: a path
// without such a '/' gives "" and false, and so does a destSize of 1. A destSize below 1
// returns false and writes nothing.
bool V_ExtractFilePath(const char* path, char* dest, int destSize);

// Pointer to the text after the last '.' in `path`, or null when there is no '.' before
// the last character or a '/' follows the dot directly. Only that one case rejects a
// dot in a directory name: "dir.x/file" gives "x/file", "dir./file" gives null,
// "dir/.profile" gives "profile", "file." gives null.
const char* V_GetFileExtension(const char* path);
// dest = the extension as V_GetFileExtension finds it (without the '.'), or "".
void V_ExtractFileExtension(const char* path, char* dest, int destSize);
// The final component without its extension: "dir/file.txt" gives "file", "file." gives
// "file", "dir/.hidden" gives "". A null or empty path gives "".
void V_FileBase(const char* path, char* dest, int maxLength);
// Copy of `in` without its extension. The last '.' counts as the extension dot only when
// it comes after the last '/' and the last backslash: "a.b/c" is copied whole, "c.txt"
// gives "c", ".hidden" gives "". `out` may be `in` itself; otherwise they must not
// overlap.
void V_StripExtension(const char* in, char* out, int outSize);
// Appends `extension` (which should start with its '.') unless a '.' appears in the
// final component after its first character. "cfg/server" with ".cfg" gives
// "cfg/server.cfg"; "cfg/server.txt" is left alone.
void V_DefaultExtension(char* path, const char* extension, int pathStringLength);
// V_StripExtension of the path onto itself, then V_DefaultExtension. Only the last
// extension is stripped and a remaining dot blocks the new one: "a.tar.gz" gives "a.tar"
// whatever the extension.
void V_SetExtension(char* path, const char* extension, int pathStringLength);
// dest = path, then '/' when path is not empty and does not end in '/' (reported through
// Error as V_AppendSlash does when it does not fit), then filename; every separator
// becomes '/'. An empty path gives the file name alone.
void V_ComposeFileName(const char* path, const char* filename, char* dest, int destSize);

// Cleans a path in place and turns every separator into '/'; backslashes count as
// separators throughout. Removes every "." component ("./" at the start or after a
// separator, and a final "/." when the path is at least 3 characters long), but never a
// "./" inside a name ("v1./x" keeps its "v1."). Resolves each ".." component against the
// component before it when a '/' precedes that component: "a/b/../c" is unchanged up to
// the "..", "/a/../b" gives "/b", "/a/.." gives "/". Returns false when a ".." has no
// such component before it ("../x", "a/../b", "/.."); the path is then left as far as it
// was cleaned. Applying it to its own result changes nothing.
bool V_RemoveDotSlashes(char* path);
// Builds the absolute, cleaned form of `path` in out: `path` itself when absolute;
// otherwise `path` under `startingDir` when that is absolute, or under the current
// directory (with `startingDir` appended when given). Reports
// "V_MakeAbsolutePath: _getcwd failed." or "V_MakeAbsolutePath: tried to \"..\" past the
// root." through Error. An outLength below 1 writes nothing.
void V_MakeAbsolutePath(char* out, int outLength, const char* path, const char* startingDir = nullptr);
