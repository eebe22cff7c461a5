// Path and file-name functions; contracts are in PathTools.h.
#include "tier1/PathTools.h"

#include <string.h>
#include <unistd.h>

#include "tier0/dbg.h"
#include "tier1/StrTools.h"

namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

int Length(const char* s) { return static_cast<int>(strlen(s)); }

// Copies the first `count` characters of `src` into `dest` of `destSize` bytes (> 0),
// as many as fit, and terminates. The two may overlap.
void CopyPrefix(char* dest, int destSize, const char* src, int count) {
    if (count > destSize - 1) count = destSize - 1;
    if (count < 0) count = 0;
    memmove(dest, src, static_cast<size_t>(count));
    dest[count] = '\0';
}

}  // namespace

void V_StripTrailingSlash(char* path) {
    int len = Length(path);
    if (len > 0 && path[len - 1] == '/') path[len - 1] = '\0';
}

void V_AppendSlash(char* path, int size) {
    int len = Length(path);
    if (len == 0 || path[len - 1] == '/') return;
    if (len + 1 >= size) {
        Error("V_AppendSlash: ran out of space on %s.", path);
        return;
    }
    path[len] = '/';
    path[len + 1] = '\0';
}

void V_FixSlashes(char* path, char separator) {
    for (; *path; ++path) {
        if (IsSeparator(*path)) *path = separator;
    }
}

bool V_IsAbsolutePath(const char* path) { return (path[0] && path[1] == ':') || IsSeparator(path[0]); }

void V_StripFilename(char* path) {
    int len = Length(path);
    if (len <= 1) return;
    char* slash = strrchr(path, '/');
    if (slash) {
        *slash = '\0';
    } else {
        path[0] = '\0';
    }
}

bool V_StripLastDir(char* dirName, int maxLength) {
    if (!dirName[0] || !strcmp(dirName, "./") || !strcmp(dirName, ".\\")) return false;
    int len = Length(dirName);
    if (dirName[len - 1] == '/') --len;
    // The root alone has no last directory; turning it into "./" would make an absolute
    // path relative.
    if (len == 0) return false;
    int cut = len - 1;
    while (cut > 0 && dirName[cut - 1] != '/') --cut;
    if (cut > 0) {
        dirName[cut] = '\0';
    } else {
        V_snprintf(dirName, maxLength, ".%c", '/');  // writes those three bytes only
    }
    V_FixSlashes(dirName, '/');
    return true;
}

const char* V_UnqualifiedFileName(const char* path) {
    for (int i = Length(path) - 2; i >= 0; --i) {
        if (path[i] == '/') return path + i + 1;
    }
    return path;
}

bool V_ExtractFilePath(const char* path, char* dest, int destSize) {
    if (destSize < 1) return false;
    int len = Length(path);
    int end = len > 0 ? len - 1 : 0;
    while (end > 0 && path[end - 1] != '/') --end;
    int n = end < destSize - 1 ? end : destSize - 1;
    CopyPrefix(dest, destSize, path, n);
    return n != 0;
}

const char* V_GetFileExtension(const char* path) {
    int i = Length(path) - 1;
    if (i < 0) return nullptr;
    while (i > 0 && path[i - 1] != '.') --i;
    if (i == 0 || path[i] == '/') return nullptr;
    return path + i;
}

void V_ExtractFileExtension(const char* path, char* dest, int destSize) {
    if (destSize < 1) return;
    dest[0] = '\0';
    const char* extension = V_GetFileExtension(path);
    if (extension) V_strncpy(dest, extension, destSize);
}

void V_FileBase(const char* path, char* dest, int maxLength) {
    if (maxLength < 1) return;
    if (!path || !path[0]) {
        dest[0] = '\0';
        return;
    }
    int len = Length(path);
    int end = len - 1;
    int i = end;
    while (i > 0 && path[i] != '.' && path[i] != '/') --i;
    if (path[i] == '.') end = i - 1;
    const char* slash = strrchr(path, '/');
    int start = slash ? static_cast<int>(slash - path) + 1 : 0;
    CopyPrefix(dest, maxLength, path + start, end - start + 1);
}

void V_StripExtension(const char* in, char* out, int outSize) {
    if (outSize < 1) return;
    const char* dot = strrchr(in, '.');
    const char* slash = strrchr(in, '/');
    const char* backslash = strrchr(in, '\\');
    if (dot && (!slash || dot > slash) && (!backslash || dot > backslash)) {
        CopyPrefix(out, outSize, in, static_cast<int>(dot - in));
    } else if (out != in) {
        V_strncpy(out, in, outSize);
    }
}

void V_DefaultExtension(char* path, const char* extension, int pathStringLength) {
    for (int i = Length(path) - 1; i > 0 && path[i] != '/'; --i) {
        if (path[i] == '.') return;
    }
    // A negative size converts to a size_t above INT_MAX, which V_strncat refuses.
    V_strncat(path, extension, static_cast<size_t>(pathStringLength), -1);
}

void V_SetExtension(char* path, const char* extension, int pathStringLength) {
    V_StripExtension(path, path, pathStringLength);
    V_DefaultExtension(path, extension, pathStringLength);
}

void V_ComposeFileName(const char* path, const char* filename, char* dest, int destSize) {
    if (destSize < 1) return;
    V_strncpy(dest, path, destSize);
    V_AppendSlash(dest, destSize);
    V_strncat(dest, filename, static_cast<size_t>(destSize), -1);
    V_FixSlashes(dest, '/');
}

// Backslashes become '/' before anything else, so every step sees the same separator
// and a second pass over the result finds nothing left to do. A "./" is dropped only as
// a whole component: a name ending in '.' ("v1./x") keeps its dot.
bool V_RemoveDotSlashes(char* path) {
    V_FixSlashes(path, '/');

    // "." components, judged on the text written so far, so "././a" loses both.
    char* out = path;
    for (const char* in = path; *in;) {
        if (in[0] == '.' && in[1] == '/' && (out == path || out[-1] == '/')) {
            in += 2;
        } else {
            *out++ = *in++;
        }
    }
    *out = '\0';

    int len = Length(path);
    if (len >= 3 && path[len - 2] == '/' && path[len - 1] == '.') path[len - 2] = '\0';

    // ".." components, always the first one left, until none remains.
    for (;;) {
        int dots = -1;
        for (int i = 0; path[i]; ++i) {
            if (path[i] == '.' && path[i + 1] == '.' && (i == 0 || path[i - 1] == '/') &&
                (path[i + 2] == '/' || path[i + 2] == '\0')) {
                dots = i;
                break;
            }
        }
        if (dots < 0) break;
        // The '/' in front of the preceding component; a ".." at the start has none.
        int slash = dots - 2;
        while (slash >= 0 && path[slash] != '/') --slash;
        if (slash < 0) return false;
        const char* rest = path + dots + 2;
        if (slash == 0 && *rest == '\0') {
            // "/a/.." is the root, not the empty (relative) path.
            path[1] = '\0';
        } else {
            memmove(path + slash, rest, strlen(rest) + 1);
        }
    }
    return true;
}

void V_MakeAbsolutePath(char* out, int outLength, const char* path, const char* startingDir) {
    if (outLength < 1) return;
    if (V_IsAbsolutePath(path)) {
        V_strncpy(out, path, outLength);
    } else {
        if (startingDir && V_IsAbsolutePath(startingDir)) {
            V_strncpy(out, startingDir, outLength);
        } else {
            if (!getcwd(out, static_cast<size_t>(outLength))) {
                out[0] = '\0';
                Error("V_MakeAbsolutePath: _getcwd failed.");
                return;
            }
            if (startingDir) {
                V_AppendSlash(out, outLength);
                V_strncat(out, startingDir, static_cast<size_t>(outLength), -1);
            }
        }
        V_AppendSlash(out, outLength);
        V_strncat(out, path, static_cast<size_t>(outLength), -1);
    }
    // Also turns every backslash into '/', whatever it returns.
    if (!V_RemoveDotSlashes(out)) Error("V_MakeAbsolutePath: tried to \"..\" past the root.");
}
