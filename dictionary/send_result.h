#pragma once

#include <cstdint>

// The result of a table's nextToSend and storeReceived: what the job does next with the table.
enum class SendResult : std::uint8_t {
    Only = 1,     // a record was handled and it is the table's only one: the table is done after it
    More = 2,     // a record was handled and more may follow: call again
    End = 3,      // no further record: the end of the table or of its key range
    Nothing = 4,  // nothing to send (a table with one record, or one per scale, holds none)
};
