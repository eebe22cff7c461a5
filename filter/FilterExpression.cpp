// Filter expressions: the group form ("#" and group characters, "!" to take a group
// away) and the token form (user ids, network ids and names separated by spaces).
#include <ctype.h>
#include <limits.h>
#include <string.h>
#include <strings.h>

#include "filter/FilterStrings.h"
#include "filter/MRecipientFilter.h"
#include "filter/PlayerSlots.h"
#include "tier0/dbg.h"

namespace {

// The group form's include flags.
enum : unsigned {
    kTeam0 = 1u << 0,
    kTeam1 = 1u << 1,
    kTeam2 = 1u << 2,
    kTeam3 = 1u << 3,
    kDead = 1u << 4,
    kAlive = 1u << 5,
    kHumans = 1u << 6,
    kBots = 1u << 7,
    kAllFlags = 0xFFu,
};

enum GroupCode { kCodeAll = 4, kCodeBots = 5, kCodeHumans = 6, kCodeLiving = 7, kCodeDead = 8, kCodeUnknown = 9 };

// What a positive group character does: the flags it sets, the flags it clears (the
// rest keep their value), and whether the selection is checked for emptiness after it.
struct GroupRow {
    unsigned set;
    unsigned clear;
    bool check;
};

const GroupRow kGroupRows[10] = {
    /* 0 */ {kTeam0 | kDead | kHumans | kBots, 0, true},
    /* 1 */ {kTeam1 | kDead | kHumans | kBots, 0, true},
    /* 2 */ {kTeam2 | kDead | kAlive | kHumans | kBots, kTeam3, false},
    /* 3 */ {kTeam3 | kDead | kAlive | kHumans | kBots, kTeam2, false},
    /* A */ {kAllFlags, 0, false},
    /* B */ {kAllFlags & ~kHumans, kHumans, false},
    /* H */ {kAllFlags & ~kBots, kBots, false},
    /* L */ {kTeam2 | kTeam3 | kAlive | kHumans | kBots, kDead, false},
    /* D */ {kAllFlags & ~kAlive, kAlive, false},
    /* ? */ {0, 0, true},
};

// The flags a negated group character clears.
const unsigned kNegatedClears[10] = {kTeam0, kTeam1, kTeam2, kTeam3, kAllFlags, kBots, kHumans, kAlive, kDead, 0};

void ReportUnknown(char c) { Msg("Unknown Group Selection \"%c\"\n", c); }

// Whether a connected player passes the include flags. A team number outside 0 to 3
// is never excluded by the team flags.
bool Included(IPlayerInfoApi* player, unsigned flags) {
    if (!player->IsPlayer() || !player->IsConnected()) return false;
    const int team = player->GetTeamIndex();
    if (!(flags & kTeam0) && team == 0) return false;
    if (!(flags & kTeam1) && team == 1) return false;
    if (!(flags & kTeam2) && team == 2) return false;
    if (!(flags & kTeam3) && team == 3) return false;
    if (!(flags & kDead) && player->IsDead()) return false;
    if (!(flags & kAlive) && !player->IsDead()) return false;
    if (!(flags & kHumans) && !player->IsFakeClient()) return false;
    if (!(flags & kBots) && player->IsFakeClient()) return false;
    return true;
}

// Appends `index` unless the list holds it already. The token form selects through
// this, so a slot stays once at the place it was first selected and the list never
// grows past the number of slots, however many tokens repeat it.
void AddOnce(CUtlVector<int>& list, int index) {
    if (list.Find(index) < 0) list.AddToTail(index);
}

// A slot the token form may select: the player is connected and is a player. The
// candidates are gathered once per expression, in slot order, and every token is tested
// against them: nothing can change the players while one expression is read, and one
// scan instead of one per token keeps long expressions cheap.
struct Candidate {
    int slot;
    IPlayerInfoApi* player;
};

void GatherCandidates(CUtlVector<Candidate>& candidates) {
    for (int i = 1; i <= FilterMaxClients(); ++i) {
        IPlayerInfoApi* player = FilterPlayerInfo(i);
        if (player && player->IsConnected() && player->IsPlayer()) candidates.AddToTail(Candidate{i, player});
    }
}

// The user id an all-digit token names. A number above INT_MAX names no user id (a
// user id is an int), so false is returned rather than a wrapped or saturated value.
bool ParseUserId(const char* digits, int* id) {
    int value = 0;
    for (const char* p = digits; *p; ++p) {
        const int digit = *p - '0';
        if (value > (INT_MAX - digit) / 10) return false;
        value = value * 10 + digit;
    }
    *id = value;
    return true;
}

// The first candidate whose user id is `id`, and only that one.
void AddByUserId(CUtlVector<int>& list, const CUtlVector<Candidate>& candidates, int id) {
    for (int i = 0; i < candidates.Count(); ++i) {
        if (candidates[i].player->GetUserID() == id) {
            AddOnce(list, candidates[i].slot);
            return;
        }
    }
}

// Every candidate whose network id equals the (upper-cased) token, or with `partial`
// occurs inside it. An empty (or missing) network id is never selected: inside any
// token it would always be found, and it names no one.
void AddByNetworkId(CUtlVector<int>& list, const CUtlVector<Candidate>& candidates, const char* token, bool partial) {
    for (int i = 0; i < candidates.Count(); ++i) {
        const char* id = candidates[i].player->GetNetworkIDString();
        if (!id || !*id) continue;
        if (partial ? strstr(token, id) != nullptr : strcmp(id, token) == 0) AddOnce(list, candidates[i].slot);
    }
}

// Every candidate whose name equals the token, or with `partial` contains it; both
// case-sensitive. A player without a name is never selected.
void AddByName(CUtlVector<int>& list, const CUtlVector<Candidate>& candidates, const char* token, bool partial) {
    for (int i = 0; i < candidates.Count(); ++i) {
        const char* name = candidates[i].player->GetName();
        if (!name) continue;
        if (partial ? strstr(name, token) != nullptr : strcmp(name, token) == 0) AddOnce(list, candidates[i].slot);
    }
}

bool IsNetworkIdToken(const char* token) {
    return strncasecmp(token, "STEAM_", 6) == 0 || strcasecmp(token, "BOT") == 0;
}

}  // namespace

int MRecipientFilter::TeamToEnum(char c) {
    switch (toupper(static_cast<unsigned char>(c))) {
        case '0':
        case 'U': return 0;
        case '1':
        case 'S': return 1;
        case '2':
        case 'T': return 2;
        case '3':
        case 'C': return 3;
        case 'A': return kCodeAll;
        case 'B': return kCodeBots;
        case 'H': return kCodeHumans;
        case 'L': return kCodeLiving;
        case 'D': return kCodeDead;
        default: return kCodeUnknown;
    }
}

void MRecipientFilter::AddByFilter(char* filter, bool partial) {
    m_Recipients.RemoveAll();
    if (!filter) return;

    if (filter[0] != '#') {
        char token[FILTER_TOKEN_SIZE];
        const char* rest = StrNextToken(token, filter, ' ');
        CUtlVector<Candidate> candidates;
        if (token[0]) GatherCandidates(candidates);
        while (token[0]) {
            if (StrIsInt(token)) {
                int id;
                if (ParseUserId(token, &id)) AddByUserId(m_Recipients, candidates, id);
            } else if (IsNetworkIdToken(token)) {
                char* upper = StrToUpper(token);
                strncpy(token, upper, sizeof(token) - 1);
                token[sizeof(token) - 1] = '\0';
                delete[] upper;
                AddByNetworkId(m_Recipients, candidates, token, partial);
            } else {
                AddByName(m_Recipients, candidates, token, partial);
            }
            rest = StrNextToken(token, rest, ' ');
        }
        return;
    }

    // Group form. Reading stops at the end of the text, at an empty selection after a
    // character whose row says "check" (the list stays empty), or after the first
    // negated character other than a space.
    unsigned flags = 0;
    bool negated = false;
    const size_t length = strlen(filter);
    for (size_t pos = 1; pos < length; ++pos) {
        const char c = filter[pos];
        if (c == '!') {
            negated = true;
            continue;
        }
        const int code = TeamToEnum(c);
        if (code == kCodeUnknown) ReportUnknown(c);
        if (!negated) {
            const GroupRow& row = kGroupRows[code];
            flags = (flags & ~row.clear) | row.set;
            if (row.check && !flags) return;
            continue;
        }
        negated = false;
        flags &= ~kNegatedClears[code];
        if (c != ' ') break;
        if (!flags) return;
    }

    for (int i = 1; i <= FilterMaxClients(); ++i) {
        IPlayerInfoApi* player = FilterPlayerInfo(i);
        if (player && Included(player, flags)) m_Recipients.AddToTail(i);
    }
}
