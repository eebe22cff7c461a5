#include "tier1/PathTools.h"

#include <gtest/gtest.h>
#include <string.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "host/tier0/HostTier0.h"

namespace {

// A buffer of `size` bytes followed by guard bytes; Intact() says whether a write went
// past the size.
class Guarded {
public:
    explicit Guarded(int size, const char* text = "") : size_(size), bytes_(size + 8, '\x7f') {
        if (size > 0) strncpy(bytes_.data(), text, size);
    }
    char* data() { return bytes_.data(); }
    // The text within the size: up to its terminator, or all of it when there is none.
    std::string str() const { return std::string(bytes_.data(), strnlen(bytes_.data(), size_)); }
    bool Intact() const {
        for (size_t i = size_; i < bytes_.size(); ++i) {
            if (bytes_[i] != '\x7f') return false;
        }
        return true;
    }

private:
    size_t size_;
    std::vector<char> bytes_;
};

std::string Applied(void (*fn)(char*), const char* text) {
    std::vector<char> buffer(text, text + strlen(text) + 1);
    fn(buffer.data());
    return buffer.data();
}

// What `fill` leaves in a guarded buffer of `size` bytes that held `text`, or a note of
// the overrun when it wrote past them.
std::string Filled(int size, const char* text, const std::function<void(char*)>& fill) {
    Guarded buffer(size, text);
    fill(buffer.data());
    return buffer.Intact() ? buffer.str() : "(wrote past " + std::to_string(size) + " bytes)";
}

TEST(PathToolsTest, SlashHelpersRecogniseBackslashOnlyWhereDocumented) {
    EXPECT_EQ(Applied(V_StripTrailingSlash, "a/"), "a");
    EXPECT_EQ(Applied(V_StripTrailingSlash, "a//"), "a/");
    EXPECT_EQ(Applied(V_StripTrailingSlash, "a\\"), "a\\");
    EXPECT_EQ(Applied(V_StripTrailingSlash, ""), "");

    struct {
        const char* path;
        int size;
        const char* result;
    } appends[] = {{"", 1, ""}, {"ab", 4, "ab/"}, {"ab/", 4, "ab/"}, {"a\\", 4, "a\\/"}};
    for (auto& c : appends) {
        EXPECT_EQ(Filled(c.size, c.path, [&](char* d) { V_AppendSlash(d, c.size); }), c.result) << c.path;
    }
    EXPECT_EQ(Applied([](char* p) { V_FixSlashes(p, '\\'); }, "a\\b/c"), "a\\b\\c");
    EXPECT_EQ(Applied([](char* p) { V_FixSlashes(p); }, "a\\b\\c"), "a/b/c");

    struct {
        const char* path;
        bool absolute;
    } absolutes[] = {{"/x", true}, {"\\x", true}, {"c:", true},   {"c:x", true}, {":", false},
                     {"", false},  {"x", false},  {"./x", false}, {"x:", true},  {"xy:", false}};
    for (auto& c : absolutes) EXPECT_EQ(V_IsAbsolutePath(c.path), c.absolute) << c.path;
}

// The handler runs inside Error, before the reporting function could go on: it shows
// what the buffer held when the report was made.
const char* s_watched = nullptr;
void PrintWatched(const char*) { fprintf(stderr, "buffer at report: [%s]\n", s_watched); }

TEST(PathToolsTest, AppendSlashReportsWhenTheSlashDoesNotFitAndLeavesThePath) {
    EXPECT_EXIT(
        {
            static char path[4] = "abc";
            s_watched = path;
            HostTier0_SetErrorHandler(PrintWatched);
            V_AppendSlash(path, 4);
        },
        ::testing::ExitedWithCode(1), "V_AppendSlash: ran out of space on abc\\.buffer at report: \\[abc\\]");
    EXPECT_EXIT(
        {
            char dest[4];
            V_ComposeFileName("abc", "x", dest, 4);
        },
        ::testing::ExitedWithCode(1), "V_AppendSlash: ran out of space on abc\\.");
}

TEST(PathToolsTest, StripFilenameAndLastDirCutAtForwardSlashes) {
    struct {
        const char* path;
        const char* result;
    } filenames[] = {{"a/b/c.txt", "a/b"}, {"c.txt", ""}, {"a/b/", "a/b"}, {"/", "/"},
                     {"a", "a"},           {"", ""},      {"/a", ""},      {"a\\b", ""}};
    for (auto& c : filenames) EXPECT_EQ(Applied(V_StripFilename, c.path), c.result) << c.path;

    struct {
        const char* path;
        int size;
        const char* result;
        bool stripped;
    } dirs[] = {
        {"a/b/c", 16, "a/b/", true}, {"a/b/c/", 16, "a/b/", true}, {"a", 16, "./", true},
        {"a/", 16, "./", true},      {"/a", 16, "/", true},        {"a/b\\c", 16, "a/", true},
        {"a\\b\\c", 16, "./", true},  // the backslash does not separate in the search
        {"a", 3, "./", true},        {"a", 2, ".", true},          {"./", 16, "./", false},
        {".\\", 16, ".\\", false},   {"", 16, "", false},          {"/", 16, "/", false},
    };
    for (auto& c : dirs) {
        bool stripped = !c.stripped;
        EXPECT_EQ(Filled(c.size, c.path, [&](char* d) { stripped = V_StripLastDir(d, c.size); }), c.result)
            << c.path << " in " << c.size;
        EXPECT_EQ(stripped, c.stripped) << c.path;
    }
    // "./" writes its three bytes and leaves the rest of the buffer alone.
    char tail[8] = {'a', 0, 'x', 'x', 'x', 'x', 'x', 'x'};
    EXPECT_TRUE(V_StripLastDir(tail, sizeof(tail)));
    EXPECT_EQ(std::string(tail, sizeof(tail)), std::string("./\0xxxxx", 8));
}

TEST(PathToolsTest, FileNameAndDirectoryPartSplitAtTheLastSlashBeforeTheLastCharacter) {
    struct {
        const char* path;
        const char* name;
    } names[] = {{"a/b/c.txt", "c.txt"}, {"a/b/", "b/"}, {"c", "c"}, {"", ""}, {"/x", "x"}, {"a\\b", "a\\b"}};
    for (auto& c : names) EXPECT_STREQ(V_UnqualifiedFileName(c.path), c.name) << c.path;

    struct {
        const char* path;
        int size;
        const char* result;
        bool copied;
    } dirs[] = {
        {"a/b/c.txt", 64, "a/b/", true}, {"a/b/c.txt", 5, "a/b/", true},
        {"a/b/c.txt", 4, "a/b", true},   {"a/b/c.txt", 1, "", false},
        {"c.txt", 64, "", false},        {"/x", 64, "/", true},
        {"a/b/", 64, "a/", true},        {"", 64, "", false},
        {"a\\b", 64, "", false},         {"a/b", 0, "", false},
    };
    for (auto& c : dirs) {
        bool copied = !c.copied;
        EXPECT_EQ(Filled(c.size, "junk", [&](char* d) { copied = V_ExtractFilePath(c.path, d, c.size); }), c.result)
            << c.path << " in " << c.size;
        EXPECT_EQ(copied, c.copied) << c.path;
    }
}

TEST(PathToolsTest, ExtensionIsTheTextAfterTheLastDotUnlessASlashFollowsIt) {
    struct {
        const char* path;
        const char* extension;  // null: none
    } cases[] = {
        {"dir/file.txt", "txt"},
        {"dir/.profile", "profile"},
        {"dir./file", nullptr},
        {"dir.x/file", "x/file"},
        {"file.", nullptr},
        {"file", nullptr},
        {"", nullptr},
        {"a.b.c", "c"},
        {".x", "x"},
        {"a\\b.c", "c"},
        {"a.\\b", "\\b"},
    };
    for (auto& c : cases) {
        const char* found = V_GetFileExtension(c.path);
        if (!c.extension) {
            EXPECT_EQ(found, nullptr) << c.path;
        } else {
            ASSERT_NE(found, nullptr) << c.path;
            EXPECT_STREQ(found, c.extension) << c.path;
            EXPECT_EQ(found, c.path + strlen(c.path) - strlen(c.extension)) << "points into the path";
        }
    }

    struct {
        const char* path;
        int size;
        const char* result;
    } extracted[] = {{"a.txt", 64, "txt"}, {"a.txt", 4, "txt"}, {"a.txt", 3, "tx"},
                     {"a.txt", 1, ""},     {"a.txt", 0, ""},    {"a", 64, ""}};
    for (auto& c : extracted) {
        EXPECT_EQ(Filled(c.size, "junk", [&](char* d) { V_ExtractFileExtension(c.path, d, c.size); }), c.result)
            << c.path << " in " << c.size;
    }
}

TEST(PathToolsTest, FileBaseAndStripExtensionDropOnlyTheFinalExtension) {
    struct {
        const char* path;
        int size;
        const char* base;
    } bases[] = {
        {"dir/file.txt", 64, "file"}, {"file", 64, "file"},       {"file.", 64, "file"},     {"dir/.hidden", 64, ""},
        {"a.b/c", 64, "c"},           {"/x.y", 64, "x"},          {"a.tar.gz", 64, "a.tar"}, {"", 64, ""},
        {"dir/file.txt", 5, "file"},  {"dir/file.txt", 4, "fil"}, {"dir/file.txt", 1, ""},   {"dir/", 64, ""},
    };
    for (auto& c : bases) {
        EXPECT_EQ(Filled(c.size, "junk", [&](char* d) { V_FileBase(c.path, d, c.size); }), c.base)
            << c.path << " in " << c.size;
    }
    EXPECT_EQ(Filled(8, "junk", [](char* d) { V_FileBase(nullptr, d, 8); }), "");

    struct {
        const char* in;
        int size;
        const char* out;
    } strips[] = {
        {"a.b/c", 64, "a.b/c"},    {"c.txt", 64, "c"},     {"a.b\\c", 64, "a.b\\c"}, {".hidden", 64, ""},
        {"a.tar.gz", 64, "a.tar"}, {"d\\f.x", 64, "d\\f"}, {"abc.txt", 4, "abc"},    {"abc.txt", 3, "ab"},
        {"abcdef", 4, "abc"},      {"c.txt", 1, ""},
    };
    for (auto& c : strips) {
        EXPECT_EQ(Filled(c.size, "junk", [&](char* d) { V_StripExtension(c.in, d, c.size); }), c.out)
            << c.in << " in " << c.size;
    }
    EXPECT_EQ(Applied([](char* p) { V_StripExtension(p, p, 6); }, "x/y.z"), "x/y");
    // Nothing to strip: an in-place call changes nothing, whatever the size.
    EXPECT_EQ(Applied([](char* p) { V_StripExtension(p, p, 2); }, "x.y/z"), "x.y/z");
}

TEST(PathToolsTest, DefaultAndSetExtensionAddOnlyWhereTheFinalComponentHasNoDot) {
    struct {
        const char* path;
        const char* extension;
        int size;
        const char* defaulted;
        const char* set;
    } cases[] = {
        {"cfg/server", ".cfg", 64, "cfg/server.cfg", "cfg/server.cfg"},
        {"cfg/server.txt", ".cfg", 64, "cfg/server.txt", "cfg/server.cfg"},
        {"a.b/c", ".x", 64, "a.b/c.x", "a.b/c.x"},
        {".cfg", ".x", 64, ".cfg.x", ".x"},             // the first character is not looked at
        {"a.tar.gz", ".zip", 64, "a.tar.gz", "a.tar"},  // two extensions: the last goes, none comes
        {"ab", ".c", 5, "ab.c", "ab.c"},                // exact fit
        {"ab", ".c", 4, "ab.", "ab."},
        {"ab", ".c", 3, "ab", "ab"},
    };
    for (auto& c : cases) {
        EXPECT_EQ(Filled(c.size, c.path, [&](char* d) { V_DefaultExtension(d, c.extension, c.size); }), c.defaulted)
            << c.path << " in " << c.size;
        EXPECT_EQ(Filled(c.size, c.path, [&](char* d) { V_SetExtension(d, c.extension, c.size); }), c.set)
            << c.path << " in " << c.size;
    }
}

TEST(PathToolsTest, ComposeFileNameJoinsWithOneForwardSlash) {
    struct {
        const char* path;
        const char* file;
        int size;
        const char* result;
    } cases[] = {
        {"", "f.txt", 64, "f.txt"},      {"a", "b", 64, "a/b"},      {"a/", "b", 64, "a/b"},
        {"a\\b", "c\\d", 64, "a/b/c/d"}, {"ab", "cdef", 6, "ab/cd"}, {"ab", "cdef", 8, "ab/cdef"},
        {"ab", "cdef", 7, "ab/cde"},
    };
    for (auto& c : cases) {
        EXPECT_EQ(Filled(c.size, "", [&](char* d) { V_ComposeFileName(c.path, c.file, d, c.size); }), c.result)
            << c.path << " + " << c.file << " in " << c.size;
    }
}

TEST(PathToolsTest, RemoveDotSlashesDropsWholeDotComponentsAndIsStable) {
    struct {
        const char* in;
        const char* out;
        bool ok;
    } cases[] = {
        {"a/b/../c", "a/c", true},    {"/a/../b", "/b", true},    {"/a/b/../../c", "/c", true},
        {"a/../b", "a/../b", false},  // no '/' before the component that ".." would remove
        {"../x", "../x", false},      {"/..", "/..", false},      {"/a/../../b", "/../b", false},
        {"./a/./b/.", "a/b", true},   {"././a", "a", true},       {"a/b/.", "a/b", true},
        {"/.", "/.", true},           {"v1./x", "v1./x", true},  // a name ending in '.' keeps its dot
        {"file./y", "file./y", true}, {"a../b", "a../b", true},   {"a/.../b", "a/.../b", true},
        {"x\\.\\y", "x/y", true},     {"\\a\\..\\b", "/b", true}, {"/a/..", "/", true},  // the root, not the empty path
        {"/a/../", "/", true},        {"a//../b", "a/b", true},   {"", "", true},
    };
    for (auto& c : cases) {
        std::vector<char> path(c.in, c.in + strlen(c.in) + 1);
        EXPECT_EQ(V_RemoveDotSlashes(path.data()), c.ok) << c.in;
        EXPECT_STREQ(path.data(), c.out) << c.in;
        std::string once = path.data();
        EXPECT_EQ(V_RemoveDotSlashes(path.data()), c.ok) << "second pass over " << c.in;
        EXPECT_EQ(once, path.data()) << "second pass over " << c.in;
    }
}

TEST(PathToolsTest, MakeAbsolutePathCleansUnderTheStartingOrCurrentDirectory) {
    char cwd[1024];
    ASSERT_NE(getcwd(cwd, sizeof(cwd)), nullptr);
    const std::string here = cwd;
    struct {
        const char* path;
        const char* start;
        int size;
        std::string result;
    } cases[] = {
        {"x/../y", "/base", 64, "/base/y"},
        {"/p/./q", "/ignored", 64, "/p/q"},
        {"\\abs\\x", nullptr, 64, "/abs/x"},
        {"f", nullptr, 1024, here + "/f"},
        {"f", "sub/./d", 1024, here + "/sub/d/f"},
        {"v1./f", "/base", 64, "/base/v1./f"},
        {"/abcdef", nullptr, 4, "/ab"},
        {"/abc", nullptr, 5, "/abc"},
        {"/x", nullptr, 0, ""},
    };
    for (auto& c : cases) {
        EXPECT_EQ(Filled(c.size, "junk", [&](char* d) { V_MakeAbsolutePath(d, c.size, c.path, c.start); }), c.result)
            << c.path;
    }

    EXPECT_EXIT(
        {
            char out[64];
            V_MakeAbsolutePath(out, sizeof(out), "../../..", "/");
        },
        ::testing::ExitedWithCode(1), "V_MakeAbsolutePath: tried to \"\\.\\.\" past the root\\.");
    EXPECT_EXIT(
        {
            char out[2];
            V_MakeAbsolutePath(out, sizeof(out), "relative", nullptr);
        },
        ::testing::ExitedWithCode(1), "V_MakeAbsolutePath: _getcwd failed\\.");
}

}  // namespace
