// Fuzz target for filter expressions against a fixed server of humans and bots, with
// slots the scans must pass over. The first byte picks the form (bit 1 puts "#" in
// front) and the rest is the expression, up to its first zero byte; each expression runs
// with partial matching off and on. Checks: every selected slot is a connected player in
// range, no slot is selected twice, the group form lists slots in increasing order and
// ignores `partial`, and what the token form selects exactly it also selects partially.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "filter/MRecipientFilter.h"
#include "fuzz/FuzzCheck.h"
#include "host/tier0/HostTier0.h"
#include "tests/support/FakeEngine.h"

namespace {

const int kMaxClients = 16;

void Quiet(const char*, void*) {}

FakeEngine& Server() {
    static FakeEngine* server = [] {
        HostTier0_SetOutputHook(&Quiet, nullptr);
        auto* s = new FakeEngine(kMaxClients);
        s->AddPlayer(1, "Alice", 2, 2, false, false, "STEAM_0:1:42");
        s->AddPlayer(2, "Bob", 3, 3, false, false, "STEAM_0:0:7");
        s->AddPlayer(3, "Carol", 4, 0, false, true, "VL:0:1003");
        s->AddPlayer(4, "Slider", 5, 3, true);
        s->AddPlayer(5, "Glint", 6, 2, true, true);
        s->AddPlayer(6, "12345", 7, 0, false, false, "STEAM_0:1:4");
        s->AddPlayer(7, "Sam", 8, 1, false, true, "");
        s->AddPlayer(8, "Tess", 9, 1, true);
        s->AddPlayer(9, "li", 10, 5, false, false, "STEAM_1:0:99");
        s->AddPlayer(10, "Slider", 11, 2, false, false, "STEAM_0:1:42")->connected = false;
        s->AddPlayer(11, "Pix", 12, 2, true)->player = false;
        s->AddPlayer(12, "Frey", 13, 3, true)->edict.stateFlags = kEdictFree;
        s->AddPlayer(13, "Ghost", 14, 3, true);
        s->edicts.erase(13);
        s->playerInfo.erase(&s->AddPlayer(14)->edict);  // no player information
        s->AddPlayer(15, "a b", 16, 2, true, true, "STEAM_");
        s->AddPlayer(16, "Zed", 5, -1, false, false, "BOT");
        s->AddPlayer(17, "Over", 17, 2, true);
        return s;
    }();
    return *server;
}

// Slots 1 to 9, 15 and 16 hold connected players.
bool ConnectedPlayer(int slot) { return (slot >= 1 && slot <= 9) || slot == 15 || slot == 16; }

std::vector<int> Run(const std::string& expression, bool partial) {
    std::vector<char> text(expression.begin(), expression.end());
    text.push_back('\0');
    MRecipientFilter filter;
    filter.AddBySlot(kMaxClients + 1);
    filter.AddByFilter(text.data(), partial);
    FUZZ_CHECK(strcmp(text.data(), expression.c_str()) == 0);
    std::vector<int> slots;
    for (int i = 0; i < filter.GetRecipientCount(); ++i) slots.push_back(filter.GetRecipientIndex(i));
    FUZZ_CHECK(filter.GetRecipientIndex(filter.GetRecipientCount()) == -1);
    for (int slot : slots) FUZZ_CHECK(ConnectedPlayer(slot));
    std::vector<int> sorted = slots;
    std::sort(sorted.begin(), sorted.end());
    FUZZ_CHECK(std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end());
    return slots;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Server();
    if (size == 0) return 0;
    const char* text = reinterpret_cast<const char*>(data + 1);
    std::string expression(text, strnlen(text, size - 1));
    if (data[0] & 2) expression.insert(0, "#");

    const std::vector<int> exact = Run(expression, false);
    const std::vector<int> partial = Run(expression, true);
    if (!expression.empty() && expression[0] == '#') {
        FUZZ_CHECK(exact == partial);
        FUZZ_CHECK(std::is_sorted(exact.begin(), exact.end()));
    } else {
        for (int slot : exact) FUZZ_CHECK(std::find(partial.begin(), partial.end(), slot) != partial.end());
    }
    return 0;
}
