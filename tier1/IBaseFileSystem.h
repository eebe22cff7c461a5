// The engine's file system ("VFileSystem017") as the general-purpose layers use it: the
// basic file operations, and on the full interface the aligned read-buffer operations
// that whole-file loads use.
#pragma once

typedef void* FileHandle_t;

class IBaseFileSystem {
public:
    // Reads at most `size` bytes; returns the count read.
    virtual int Read(void* output, int size, FileHandle_t file) = 0;
    // Writes `size` bytes; returns the count written.
    virtual int Write(const void* input, int size, FileHandle_t file) = 0;
    // Opens `fileName` (relative to the game directory) with an fopen mode; `pathID`
    // may be null. Returns null when the file cannot be opened.
    virtual FileHandle_t Open(const char* fileName, const char* options, const char* pathID = nullptr) = 0;
    virtual void Close(FileHandle_t file) = 0;
    virtual unsigned int Size(FileHandle_t file) = 0;

protected:
    ~IBaseFileSystem() = default;
};

class IFileSystemApi : public IBaseFileSystem {
public:
    // Whether the file system prefers aligned reads for `file`; when it does, the
    // alignment (a power of two) is stored in `*alignment`.
    virtual bool GetOptimalReadAlignment(FileHandle_t file, unsigned int* alignment) = 0;
    // A buffer of at least `size` bytes suited to reading `file` from `offset`; null
    // when it cannot be had. Release it with FreeOptimalReadBuffer.
    virtual void* AllocOptimalReadBuffer(FileHandle_t file, unsigned int size, unsigned int offset) = 0;
    // Reads `size` bytes into `output`, which holds `destSize`; never more than that.
    virtual int ReadEx(void* output, int destSize, int size, FileHandle_t file) = 0;
    virtual void FreeOptimalReadBuffer(void* buffer) = 0;

protected:
    ~IFileSystemApi() = default;
};
