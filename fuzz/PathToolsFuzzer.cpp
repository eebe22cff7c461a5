// Fuzz target for the path functions: random text in random buffer sizes, each buffer
// followed by guard bytes. Nothing may be written past a buffer's size, every result is
// terminated, and V_RemoveDotSlashes changes nothing on its own output.
//
// Input: byte 0 and byte 1 choose two buffer sizes; the rest, up to the first zero byte,
// is the text. A '\n' in it splits a second text (a file name, an extension or a
// starting directory) from the path.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "tier1/PathTools.h"
#include "tier1/StrTools.h"

namespace {

const int kGuard = 16;
const char kGuardByte = '\xa5';

// A buffer of `size` bytes and guard bytes after it, holding `text` cut to size - 1.
class Guarded {
public:
    Guarded(int size, const std::string& text) : size_(size), bytes_(size + kGuard, kGuardByte) {
        if (size > 0) {
            size_t n = text.size() < static_cast<size_t>(size - 1) ? text.size() : size - 1;
            memcpy(bytes_.data(), text.data(), n);
            bytes_[n] = '\0';
        }
    }
    char* data() { return bytes_.data(); }
    int size() const { return size_; }
    std::string str() const { return bytes_.data(); }
    // Guards untouched and, when there is room, a terminator inside the buffer.
    void Check() const {
        for (int i = size_; i < size_ + kGuard; ++i) FUZZ_CHECK(bytes_[i] == kGuardByte);
        if (size_ > 0) FUZZ_CHECK(memchr(bytes_.data(), '\0', size_) != nullptr);
    }

private:
    int size_;
    std::vector<char> bytes_;
};

// Whether V_AppendSlash would report rather than append (the report ends the process).
bool AppendSlashWouldFail(const char* path, int size) {
    size_t len = strlen(path);
    return len > 0 && path[len - 1] != '/' && static_cast<int>(len) + 1 >= size;
}

bool IsWithin(const char* p, const std::string& owner, const char* base) {
    return p >= base && p <= base + owner.size();
}

void InPlace(const std::string& path, int size) {
    if (size < 1) return;
    Guarded strip(size, path);
    std::string before = strip.str();
    V_StripTrailingSlash(strip.data());
    strip.Check();
    FUZZ_CHECK(before.compare(0, strip.str().size(), strip.str()) == 0);

    Guarded filename(size, path);
    V_StripFilename(filename.data());
    filename.Check();
    FUZZ_CHECK(before.compare(0, filename.str().size(), filename.str()) == 0);

    Guarded lastDir(size, path);
    V_StripLastDir(lastDir.data(), size);
    lastDir.Check();

    Guarded slashes(size, path);
    V_FixSlashes(slashes.data(), '\\');
    slashes.Check();
    FUZZ_CHECK(slashes.str().size() == before.size());

    Guarded dots(size, path);
    bool first = V_RemoveDotSlashes(dots.data());
    dots.Check();
    std::string once = dots.str();
    FUZZ_CHECK(once.size() <= before.size());
    FUZZ_CHECK(once.find('\\') == std::string::npos);
    bool second = V_RemoveDotSlashes(dots.data());
    dots.Check();
    FUZZ_CHECK(second == first);
    FUZZ_CHECK(dots.str() == once);

    if (!AppendSlashWouldFail(before.c_str(), size)) {
        Guarded append(size, path);
        V_AppendSlash(append.data(), size);
        append.Check();
    }

    Guarded extension(size, path);
    V_DefaultExtension(extension.data(), ".ext", size);
    extension.Check();
    Guarded set(size, path);
    V_SetExtension(set.data(), ".ext", size);
    set.Check();
}

void Extract(const std::string& path, int size) {
    const char* base = path.c_str();
    const char* name = V_UnqualifiedFileName(base);
    FUZZ_CHECK(IsWithin(name, path, base));
    const char* extension = V_GetFileExtension(base);
    FUZZ_CHECK(!extension || IsWithin(extension, path, base));
    V_IsAbsolutePath(base);

    Guarded dir(size, "");
    V_ExtractFilePath(base, dir.data(), size);
    dir.Check();
    Guarded ext(size, "");
    V_ExtractFileExtension(base, ext.data(), size);
    ext.Check();
    Guarded fileBase(size, "");
    V_FileBase(base, fileBase.data(), size);
    fileBase.Check();
    FUZZ_CHECK(size < 1 || path.find(fileBase.str()) != std::string::npos);
    Guarded stripped(size, "");
    V_StripExtension(base, stripped.data(), size);
    stripped.Check();
    FUZZ_CHECK(size < 1 || path.compare(0, stripped.str().size(), stripped.str()) == 0);
}

void Compose(const std::string& path, const std::string& file, int size) {
    if (size > 0) {
        Guarded copied(size, path);
        if (AppendSlashWouldFail(copied.data(), size)) return;
    }
    Guarded out(size, "");
    V_ComposeFileName(path.c_str(), file.c_str(), out.data(), size);
    out.Check();
    FUZZ_CHECK(size < 1 || out.str().find('\\') == std::string::npos);
}

// V_MakeAbsolutePath where the outcome does not depend on the current directory: an
// absolute path, or a relative one under an absolute starting directory. Inputs that
// would be reported are skipped; the result must be the cleaned composition.
void MakeAbsolute(const std::string& path, const std::string& start, int size) {
    if (size < 1) return;
    Guarded expected(size, "");
    if (V_IsAbsolutePath(path.c_str())) {
        V_strncpy(expected.data(), path.c_str(), size);
    } else {
        if (!V_IsAbsolutePath(start.c_str())) return;
        V_strncpy(expected.data(), start.c_str(), size);
        if (AppendSlashWouldFail(expected.data(), size)) return;
        V_AppendSlash(expected.data(), size);
        V_strncat(expected.data(), path.c_str(), size, -1);
    }
    if (!V_RemoveDotSlashes(expected.data())) return;
    Guarded out(size, "");
    V_MakeAbsolutePath(out.data(), size, path.c_str(), start.c_str());
    out.Check();
    FUZZ_CHECK(out.str() == expected.str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    // Sizes 0 to 71 and 0 to 39: small enough for exact fits and cut results.
    const int sizeA = data[0] % 72;
    const int sizeB = data[1] % 40;
    const char* text = reinterpret_cast<const char*>(data + 2);
    const std::string whole(text, strnlen(text, size - 2));
    const size_t split = whole.find('\n');
    const std::string path = whole.substr(0, split);
    const std::string second = split == std::string::npos ? "" : whole.substr(split + 1);

    InPlace(path, sizeA);
    InPlace(path, sizeB);
    InPlace(path, static_cast<int>(path.size()) + 1);  // exact fit
    Extract(path, sizeA);
    Extract(path, sizeB);
    Compose(path, second, sizeA);
    MakeAbsolute(path, second, sizeA);
    MakeAbsolute(path, second, static_cast<int>(path.size() + second.size()) + 2);
    return 0;
}
