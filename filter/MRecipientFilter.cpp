// The recipient list and the player-group adds.
#include "filter/MRecipientFilter.h"

#include "filter/PlayerSlots.h"

// Other server code allocates the class by this layout: the virtual table pointer,
// then the vector.
static_assert(sizeof(MRecipientFilter) == VL_LAYOUT(24, 40), "MRecipientFilter is a table pointer and a vector");

namespace {

enum Group { kAllPlayers, kAllHumans, kTeamHumans, kAlivePlayers, kDeadPlayers };

// The group's tests, in their order; the first that fails leaves the player out.
bool InGroup(IPlayerInfoApi* player, Group group, int team) {
    switch (group) {
        case kAllPlayers: return player->IsPlayer() && player->IsConnected();
        case kAllHumans: return player->IsPlayer() && player->IsConnected() && !player->IsFakeClient();
        case kTeamHumans:
            return player->IsPlayer() && player->GetTeamIndex() != team && player->IsConnected() &&
                   !player->IsFakeClient();
        case kAlivePlayers: return !player->IsDead() && player->IsPlayer() && player->IsConnected();
        case kDeadPlayers: return player->IsDead() && player->IsPlayer() && player->IsConnected();
    }
    return false;
}

void ScanGroup(CUtlVector<int>& list, Group group, int team) {
    list.RemoveAll();
    for (int i = 1; i <= FilterMaxClients(); ++i) {
        IPlayerInfoApi* player = FilterPlayerInfo(i);
        if (player && InGroup(player, group, team)) list.AddToTail(i);
    }
}

}  // namespace

MRecipientFilter::MRecipientFilter() {}

// The list releases its memory itself; defined here so the virtual table lives in this unit.
MRecipientFilter::~MRecipientFilter() {}

bool MRecipientFilter::IsReliable() const { return false; }

bool MRecipientFilter::IsInitMessage() const { return false; }

int MRecipientFilter::GetRecipientCount() const { return m_Recipients.Count(); }

// A derived class may report a count above the list's own; positions past the list
// then answer -1 as well instead of reading beyond it.
int MRecipientFilter::GetRecipientIndex(int slot) const {
    if (slot < 0 || slot >= GetRecipientCount() || slot >= m_Recipients.Count()) return -1;
    return m_Recipients[slot];
}

void MRecipientFilter::AddRecipient(int index) {
    if (m_Recipients.Find(index) < 0) m_Recipients.AddToTail(index);
}

void MRecipientFilter::AddBySlot(int index) { m_Recipients.AddToTail(index); }

void MRecipientFilter::RemoveAll() { m_Recipients.RemoveAll(); }

void MRecipientFilter::AddAllPlayers() { ScanGroup(m_Recipients, kAllPlayers, 0); }

void MRecipientFilter::AddAllHumans() { ScanGroup(m_Recipients, kAllHumans, 0); }

void MRecipientFilter::AddAllTeamHumans(int team) { ScanGroup(m_Recipients, kTeamHumans, team); }

void MRecipientFilter::AddAllAlivePlayers() { ScanGroup(m_Recipients, kAlivePlayers, 0); }

void MRecipientFilter::AddAllDeadPlayers() { ScanGroup(m_Recipients, kDeadPlayers, 0); }
