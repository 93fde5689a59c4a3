#pragma once

#include <cstddef>

namespace tocd::limits {

// Caps on what one account may store. Together they keep the longest CONFIG2 message (61.6 KB)
// inside one frame, and what a hostile client can make the service hold bounded.
inline constexpr std::size_t NameBytes = 48; // screen name as written
inline constexpr std::size_t NormalizedNameBytes = 32; // screen name without spaces
inline constexpr std::size_t GroupBytes = 48;
inline constexpr std::size_t AliasBytes = 48;
inline constexpr std::size_t Groups = 50;
inline constexpr std::size_t Buddies = 450; // over all groups
inline constexpr std::size_t DenyEntries = 200;
inline constexpr std::size_t PermitEntries = 200;
inline constexpr std::size_t Accounts = 100000;

// Chat IDs one connection holds (rooms joined, left or invited to).
inline constexpr std::size_t ChatIds = 64;
inline constexpr std::size_t RoomNameBytes = 64;
// Payload size at which a long list of chat members is continued in another message.
inline constexpr std::size_t ChatListPayload = 2048;

} // namespace tocd::limits
