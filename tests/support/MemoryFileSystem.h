// A file system serving files from memory, for the key-value reader's and writer's tests
// and the fuzz target. It records how they use the full interface (names, path ids,
// modes, buffer sizes and offsets, reads and writes) and counts open files and live read
// buffers; read buffers are exact-size heap blocks, so a write past one is caught by the
// sanitizers. A mode starting with 'w' opens a file empty, creating it.
#pragma once

#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tier1/IBaseFileSystem.h"

class MemoryFileSystem : public IFileSystemApi {
public:
    std::map<std::string, std::string> files;
    bool reportsAlignment = false;
    unsigned int alignment = 0;
    bool refuseBuffers = false;
    bool overrideSize = false;
    unsigned int size = 0;
    int readLimit = -1;         // bytes ReadEx delivers at most; -1 for all
    bool refuseWrites = false;  // opening for writing fails
    int writeLimit = -1;        // bytes a file takes at most, then writes fall short; -1 for no limit
    int writeCalls = 0;
    std::vector<std::string> opened;
    std::vector<std::string> pathIds;
    std::vector<std::string> modes;
    std::vector<unsigned int> bufferSizes;
    std::vector<unsigned int> bufferOffsets;
    std::vector<std::pair<int, int>> reads;  // (destination size, bytes asked)
    int openFiles = 0;
    int liveBuffers = 0;

    int Read(void*, int, FileHandle_t) override { return 0; }
    int Write(const void* input, int bytes, FileHandle_t file) override {
        ++writeCalls;
        std::string& data = *static_cast<std::string*>(file);
        const int room = writeLimit < 0 ? bytes : std::max(0, writeLimit - static_cast<int>(data.size()));
        const int count = std::min(bytes, room);
        data.append(static_cast<const char*>(input), static_cast<size_t>(count));
        return count;
    }
    FileHandle_t Open(const char* name, const char* mode, const char* pathID) override {
        opened.push_back(name);
        pathIds.push_back(pathID ? pathID : "(null)");
        modes.push_back(mode);
        if (mode[0] == 'w') {
            if (refuseWrites) return nullptr;
            files[name].clear();
        }
        auto found = files.find(name);
        if (found == files.end()) return nullptr;
        ++openFiles;
        return &found->second;
    }
    void Close(FileHandle_t) override { --openFiles; }
    unsigned int Size(FileHandle_t file) override {
        return overrideSize ? size : static_cast<unsigned int>(static_cast<std::string*>(file)->size());
    }
    bool GetOptimalReadAlignment(FileHandle_t, unsigned int* value) override {
        if (reportsAlignment) *value = alignment;
        return reportsAlignment;
    }
    void* AllocOptimalReadBuffer(FileHandle_t, unsigned int bytes, unsigned int offset) override {
        bufferSizes.push_back(bytes);
        bufferOffsets.push_back(offset);
        if (refuseBuffers) return nullptr;
        ++liveBuffers;
        return malloc(bytes);
    }
    int ReadEx(void* output, int destSize, int bytes, FileHandle_t file) override {
        reads.push_back({destSize, bytes});
        const std::string& data = *static_cast<std::string*>(file);
        int count = std::min(std::min(destSize, bytes), static_cast<int>(data.size()));
        if (readLimit >= 0) count = std::min(count, readLimit);
        memcpy(output, data.data(), static_cast<size_t>(count));
        return count;
    }
    void FreeOptimalReadBuffer(void* buffer) override {
        --liveBuffers;
        free(buffer);
    }
};
