// MRecipientFilter: the plugin's recipient set for engine messages, an ordered list of
// player entity indexes filled slot by slot, by whole player groups, or from a filter
// expression. Exported for other server code; nothing in the plugin constructs one.
//
// Every group add and AddByFilter replaces the contents; AddRecipient and AddBySlot
// append. Scans ask the engine afresh each time (player slots 1 up to and including
// gpGlobals' maximum client count) and skip silently a slot without an edict, with a
// free edict or without player information. Before the plugin's Load has set the
// engine interface globals a scan selects nobody.
#pragma once

#include "engine/IRecipientFilter.h"
#include "tier0/platform.h"
#include "tier1/UtlVector.h"

class VL_EXPORT MRecipientFilter : public IRecipientFilter {
public:
    MRecipientFilter();
    ~MRecipientFilter() override;

    // Always false: the filter offers no way to change either.
    bool IsReliable() const override;
    bool IsInitMessage() const override;

    int GetRecipientCount() const override;
    // The entry at position `slot`, or -1 when `slot` is negative or not below the
    // count. The bound is the virtual GetRecipientCount, so a derived class's count
    // governs it; positions past the list itself answer -1 too.
    int GetRecipientIndex(int slot) const override;

    // Appends `index` unless the list already holds it. Indexes are stored as given,
    // unchecked.
    void AddRecipient(int index);
    // Appends `index` unconditionally, repeats included. Unchecked.
    void AddBySlot(int index);
    // Empties the list; its memory is kept for reuse.
    void RemoveAll();

    // Each replaces the contents with one group, in increasing slot order:
    // connected players; connected humans; connected humans whose team is NOT `team`;
    // connected living players; connected dead players.
    void AddAllPlayers();
    void AddAllHumans();
    void AddAllTeamHumans(int team);
    void AddAllAlivePlayers();
    void AddAllDeadPlayers();

    // Replaces the contents with the players that `filter` selects. "#" starts the
    // group form ("#A!B": everybody but bots); anything else is the token form, words
    // separated by single spaces, each a user id, a network id ("STEAM_..." or "BOT",
    // either case) or a player name. `partial` turns the token form's network-id and
    // name tests from equality into containment: the player's network id inside the
    // token, the token inside the player's name. Each slot appears at most once, at the
    // place it was first selected. `filter` is only read; null selects nobody.
    void AddByFilter(char* filter, bool partial);

    // The group code of a group-form character, ignoring case: "0"/"U" 0, "1"/"S" 1,
    // "2"/"T" 2, "3"/"C" 3, "A" 4, "B" 5, "H" 6, "L" 7, "D" 8, anything else 9.
    int TeamToEnum(char c);

private:
    CUtlVector<int> m_Recipients;
};
