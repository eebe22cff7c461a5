// The engine interface objects handed to the plugin. Each forwards to the one engine,
// which holds the state; the objects themselves hold only what is theirs (open files,
// the random stream).
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "host/engine/HostEngine.h"
#include "host/engine/HostInterfaces.h"
#include "vstdlib/IEngineCvar.h"

namespace {

class CEngineServer final : public IEngineServerApi {
public:
    int GetPlayerUserId(edict_t* edict) override {
        CHostEngine& host = CHostEngine::Instance();
        for (int slot = 1; slot <= host.Globals().maxClients; ++slot) {
            if (host.Edict(slot) == edict) return host.UserIdOf(slot);
        }
        return -1;
    }
    edict_t* PEntityOfEntIndex(int index) override { return CHostEngine::Instance().Edict(index); }
    int Cmd_Argc() override { return static_cast<int>(CHostEngine::Instance().Args().size()); }
    const char* Cmd_Argv(int index) override {
        const auto& args = CHostEngine::Instance().Args();
        if (index < 0 || static_cast<size_t>(index) >= args.size()) return "";
        return args[index].c_str();
    }
    void GetGameDir(char* out, int maxLength) override {
        if (!out || maxLength <= 0) return;
        snprintf(out, maxLength, "%s", CHostEngine::Instance().Options().gameDir.c_str());
    }
    void LogPrint(const char* text) override { CHostEngine::Instance().Log(text); }
};

// Files are opened below the game directory only: absolute names and ".." components
// are refused, so nothing the plugin reads can escape it. Opening for writing (a mode
// with "w", "a" or "+") also refuses a path with a symbolic link anywhere below the game
// directory, so a write never lands outside it (the game library itself is often a link
// into the build) and never replaces anything but a regular file.
class CHostFileSystem final : public IFileSystemApi {
public:
    int Read(void* output, int size, FileHandle_t file) override {
        if (!file || size <= 0) return 0;
        return static_cast<int>(fread(output, 1, size, static_cast<FILE*>(file)));
    }
    int Write(const void* input, int size, FileHandle_t file) override {
        if (!file || size <= 0) return 0;
        return static_cast<int>(fwrite(input, 1, size, static_cast<FILE*>(file)));
    }
    FileHandle_t Open(const char* fileName, const char* options, const char*) override {
        if (!fileName || !options || !Allowed(fileName)) return nullptr;
        const std::string& gameDir = CHostEngine::Instance().Options().gameDir;
        if (strpbrk(options, "wa+")) return OpenForWriting(gameDir, fileName, options);
        const std::string path = gameDir + "/" + fileName;
        struct stat info;
        if (strchr(options, 'r') && (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))) return nullptr;
        return fopen(path.c_str(), options);
    }
    void Close(FileHandle_t file) override {
        if (file) fclose(static_cast<FILE*>(file));
    }
    unsigned int Size(FileHandle_t file) override {
        struct stat info;
        if (!file || fstat(fileno(static_cast<FILE*>(file)), &info) != 0) return 0;
        return static_cast<unsigned int>(info.st_size);
    }
    bool GetOptimalReadAlignment(FileHandle_t file, unsigned int* alignment) override {
        if (!file || g_hostReadAlignment == 0) return false;
        if (alignment) *alignment = g_hostReadAlignment;
        return true;
    }
    void* AllocOptimalReadBuffer(FileHandle_t, unsigned int size, unsigned int) override {
        const unsigned int align = g_hostReadAlignment ? g_hostReadAlignment : 16;
        const unsigned int rounded = (size + align - 1) & ~(align - 1);
        if (rounded < size) return nullptr;
        return aligned_alloc(align, rounded ? rounded : align);
    }
    int ReadEx(void* output, int destSize, int size, FileHandle_t file) override {
        if (!file || !output || size <= 0 || destSize <= 0) return 0;
        if (size > destSize) size = destSize;
        return static_cast<int>(fread(output, 1, size, static_cast<FILE*>(file)));
    }
    void FreeOptimalReadBuffer(void* buffer) override { free(buffer); }

private:
    static FileHandle_t OpenForWriting(const std::string& gameDir, const char* fileName, const char* options) {
        std::string path = gameDir;
        for (const char* part = fileName;;) {
            const char* slash = strchr(part, '/');
            path += "/";
            path.append(part, slash ? static_cast<size_t>(slash - part) : strlen(part));
            if (!slash) break;
            struct stat info;
            if (lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) return nullptr;
            part = slash + 1;
        }
        int flags = (strchr(options, '+') ? O_RDWR : O_WRONLY) | O_NOFOLLOW | O_CLOEXEC;
        if (strchr(options, 'w')) flags |= O_CREAT | O_TRUNC;
        if (strchr(options, 'a')) flags |= O_CREAT | O_APPEND;
        int fd = open(path.c_str(), flags, 0644);
        if (fd < 0) return nullptr;
        struct stat info;
        FILE* file = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) ? fdopen(fd, options) : nullptr;
        if (!file) close(fd);
        return file;
    }

    static bool Allowed(const char* name) {
        if (name[0] == '/' || name[0] == '\0') return false;
        for (const char* p = name; *p; ++p) {
            const bool componentStart = p == name || p[-1] == '/' || p[-1] == '\\';
            if (componentStart && p[0] == '.' && p[1] == '.' && (p[2] == '\0' || p[2] == '/' || p[2] == '\\')) {
                return false;
            }
        }
        return true;
    }
};

class CPluginHelpers final : public IPluginHelpersApi {
public:
    void ClientCommand(edict_t* edict, const char* command) override {
        CHostEngine& host = CHostEngine::Instance();
        if (host.Game()) host.Game()->ClientCommand(edict, command);
    }
};

class CEngineTrace final : public IEngineTraceApi {
public:
    void TraceRay(const Ray_t& ray, unsigned int mask, ITraceFilter* filter, trace_t* result) override {
        if (result) CHostEngine::Instance().PluginTrace(ray, mask, filter, result);
    }
};

class CRandomStream final : public IRandomStreamApi {
public:
    float RandomFloat(float low, float high) override {
        const float unit = static_cast<float>(Next() >> 8) / static_cast<float>(1u << 24);
        return low + (high - low) * unit;
    }
    int RandomInt(int low, int high) override {
        if (high <= low) return low;
        const unsigned int range = static_cast<unsigned int>(high - low) + 1u;
        return low + static_cast<int>(range ? Next() % range : Next());
    }
    void Seed(unsigned int seed) { state_ = seed ? seed : 1u; }

private:
    unsigned int Next() {
        unsigned int x = state_;
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        return state_ = x;
    }
    unsigned int state_ = 1u;
};

// Tested for presence only.
class CGameEvents {};
class CStringTables {};

CEngineServer s_engineServer;
CHostFileSystem s_fileSystem;
CPluginHelpers s_helpers;
CEngineTrace s_trace;
CRandomStream s_random;
CGameEvents s_gameEvents;
CStringTables s_stringTables;

}  // namespace

unsigned int g_hostReadAlignment = 0;

void HostSeedRandomStream(unsigned int seed) { s_random.Seed(seed); }

void* HostEngineInterface(const char* name) {
    struct Entry {
        const char* name;
        void* object;
    };
    const Entry entries[] = {
        {"VEngineServer021", static_cast<IEngineServerApi*>(&s_engineServer)},
        {"GAMEEVENTSMANAGER002", &s_gameEvents},
        {"VFileSystem017", static_cast<IFileSystemApi*>(&s_fileSystem)},
        {"ISERVERPLUGINHELPERS001", static_cast<IPluginHelpersApi*>(&s_helpers)},
        {"EngineTraceServer003", static_cast<IEngineTraceApi*>(&s_trace)},
        {"VEngineCvar003", GetCVarIF()},
        {"VEngineServerStringTable001", &s_stringTables},
        {"VEngineRandom001", static_cast<IRandomStreamApi*>(&s_random)},
    };
    for (const Entry& entry : entries) {
        if (strcmp(entry.name, name) == 0) return entry.object;
    }
    return nullptr;
}
