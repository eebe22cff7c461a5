// The host commands for trying recipient filter expressions on the running server:
// host_addbot connects a bot, host_filter runs an expression through the plugin's
// exported recipient filter class, as other server code would, and lists the result.
#include <dlfcn.h>
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include <new>
#include <vector>

#include "host/engine/HostEngine.h"
#include "tier0/dbg.h"
#include "tier0/platform.h"

namespace {

// What the host relies on of the exported class: its size (a virtual table pointer and
// a five-field vector: 24 bytes, 40 on x86-64), its constructor and AddByFilter by symbol, and the engine's
// recipient-filter slots in its virtual table: the two destructor entries (complete,
// deleting), IsReliable, IsInitMessage, GetRecipientCount, GetRecipientIndex.
const size_t kFilterSize = VL_LAYOUT(24, 40);
const char kFilterConstructor[] = "_ZN16MRecipientFilterC1Ev";
const char kFilterAddByFilter[] = "_ZN16MRecipientFilter11AddByFilterEPcb";
enum FilterSlot { kSlotDestructor = 0, kSlotGetRecipientCount = 4, kSlotGetRecipientIndex = 5 };

template <typename Fn>
Fn FilterSlotOf(void* object, int slot) {
    void** table = *static_cast<void***>(object);
    return reinterpret_cast<Fn>(table[slot]);
}

}  // namespace

bool CHostEngine::RunFilterCommand(const std::vector<std::string>& args) {
    const std::string& name = args[0];
    if (strcasecmp(name.c_str(), "host_addbot") == 0) {
        if (args.size() < 2) {
            Msg("Syntax: host_addbot <name>\n");
        } else {
            AddBot(args[1]);
        }
        return true;
    }
    if (strcasecmp(name.c_str(), "host_filter") != 0) return false;
    // The second word turns partial matching on ("1", "partial") or off ("0", "exact").
    bool partial = false;
    bool valid = args.size() == 2;
    if (args.size() == 3) {
        const char* mode = args[2].c_str();
        partial = strcmp(mode, "1") == 0 || strcasecmp(mode, "partial") == 0;
        valid = partial || strcmp(mode, "0") == 0 || strcasecmp(mode, "exact") == 0;
    }
    if (!valid) {
        Msg("Syntax: host_filter <expression> [partial]\n");
        return true;
    }
    ShowFilter(args[1], partial);
    return true;
}

// A bot connects as a fake client with the network id "BOT", as the game's bot
// manager makes them.
void CHostEngine::AddBot(const std::string& name) {
    const int slot = AddClient(name.c_str(), "BOT", true);
    if (slot) {
        Msg("bot \"%s\" connected in slot %d, userid %d\n", name.c_str(), slot, UserIdOf(slot));
    } else {
        Msg("server is full\n");
    }
}

void CHostEngine::ShowFilter(const std::string& expression, bool partial) {
    if (!pluginModule_) {
        Msg("host: no plugin loaded\n");
        return;
    }
    auto construct = reinterpret_cast<void (*)(void*)>(dlsym(pluginModule_, kFilterConstructor));
    auto addByFilter = reinterpret_cast<void (*)(void*, char*, bool)>(dlsym(pluginModule_, kFilterAddByFilter));
    if (!construct || !addByFilter) {
        Msg("host: the plugin exports no recipient filter\n");
        return;
    }
    // Exactly the class's size, so that a larger object shows up under the sanitizers.
    void* filter = ::operator new(kFilterSize);
    construct(filter);
    std::vector<char> text(expression.begin(), expression.end());
    text.push_back('\0');
    addByFilter(filter, text.data(), partial);

    const int count = FilterSlotOf<int (*)(void*)>(filter, kSlotGetRecipientCount)(filter);
    Msg("filter \"%s\"%s selects %d\n", expression.c_str(), partial ? " (partial)" : "", count);
    auto* players =
        gameFactory_ ? static_cast<IPlayerInfoManagerApi*>(gameFactory_("PlayerInfoManager002", nullptr)) : nullptr;
    for (int i = 0; i < count; ++i) {
        const int slot = FilterSlotOf<int (*)(void*, int)>(filter, kSlotGetRecipientIndex)(filter, i);
        IPlayerInfoApi* info = players ? players->GetPlayerInfo(Edict(slot)) : nullptr;
        const char* playerName = info ? info->GetName() : nullptr;
        Msg("%4d %s\n", slot, playerName ? playerName : "(no player)");
    }
    FilterSlotOf<void (*)(void*)>(filter, kSlotDestructor)(filter);
    ::operator delete(filter);
}
