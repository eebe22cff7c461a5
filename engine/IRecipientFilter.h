// The engine's view of a message's recipients: it asks a filter whether the message is
// reliable or an initialisation message and reads the entity indexes of the players to
// send it to. The slot order below is the engine's; never reorder or insert.
#pragma once

#include "tier0/platform.h"

class VL_EXPORT IRecipientFilter {
public:
    virtual ~IRecipientFilter() {}

    virtual bool IsReliable() const = 0;
    virtual bool IsInitMessage() const = 0;

    virtual int GetRecipientCount() const = 0;
    // The entity index at position `slot` (from 0), or -1 when there is none.
    virtual int GetRecipientIndex(int slot) const = 0;
};
