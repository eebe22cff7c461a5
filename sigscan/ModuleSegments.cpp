// The loaded-module queries, answered from the dynamic loader's program headers.
#include "sigscan/ModuleSegments.h"

#include <dlfcn.h>
#include <link.h>
#include <string.h>

namespace {

struct ModuleQuery {
    uintptr_t loadBase;
    const char* name;
    CodeRange* ranges;  // null: only test `address`
    int maxRanges;
    int found;
    uintptr_t address;
    bool contains;
};

int VisitModule(struct dl_phdr_info* info, size_t, void* data) {
    ModuleQuery* query = static_cast<ModuleQuery*>(data);
    if (info->dlpi_addr != query->loadBase || !info->dlpi_name || strcmp(info->dlpi_name, query->name) != 0) return 0;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& segment = info->dlpi_phdr[i];
        if (segment.p_type != PT_LOAD) continue;
        const uintptr_t begin = info->dlpi_addr + segment.p_vaddr;
        if (!query->ranges) {
            if (query->address >= begin && query->address - begin < segment.p_memsz) query->contains = true;
            continue;
        }
        // Only what the file backs: bytes past p_filesz are zero fill, never code.
        if ((segment.p_flags & (PF_R | PF_X)) != (PF_R | PF_X) || segment.p_filesz == 0) continue;
        if (query->found < query->maxRanges) {
            query->ranges[query->found].begin = reinterpret_cast<const unsigned char*>(begin);
            query->ranges[query->found].size = segment.p_filesz;
            ++query->found;
        }
    }
    return 1;  // the module was found: stop
}

}  // namespace

int ModuleCodeRanges(uintptr_t loadBase, const char* moduleName, CodeRange* ranges, int maxRanges) {
    if (!moduleName || !ranges || maxRanges <= 0) return 0;
    ModuleQuery query = {loadBase, moduleName, ranges, maxRanges, 0, 0, false};
    dl_iterate_phdr(VisitModule, &query);
    return query.found;
}

bool ModuleContains(uintptr_t loadBase, const char* moduleName, uintptr_t address) {
    if (!moduleName) return false;
    ModuleQuery query = {loadBase, moduleName, nullptr, 0, 0, address, false};
    dl_iterate_phdr(VisitModule, &query);
    return query.contains;
}

bool ModuleOfHandle(void* handle, uintptr_t* loadBase, const char** moduleName) {
    link_map* map = nullptr;
    if (!handle || dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || !map) return false;
    if (loadBase) *loadBase = map->l_addr;
    if (moduleName) *moduleName = map->l_name;
    return true;
}
