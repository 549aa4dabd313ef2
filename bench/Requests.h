// The door lock requests the benchmark sends, as a PMS sends them, and the checks of the
// answers. Plain functions, safe from any thread.
#pragma once

#include <cstdint>
#include <string>

// "<DoorRequest type="ReadCard"><RequestID>…</RequestID></DoorRequest>".
std::string ReadCardRequest(int client, std::int64_t sequence);

// A new card (not a copy) for the room of `client` ("3" and the client's number, building 01,
// floor 02), with the keep-connection child ("1" or "0") when `keep` is not empty.
std::string IssueCardRequest(int client, std::int64_t sequence, const std::string& keep);

// The room key the store keeps for `client`'s room.
std::string RoomKeyOf(int client);

// The exact answer to a ReadCard request while card `cardNo` lies on the encoder.
std::string ReadCardAnswer(std::int64_t cardNo);

// True when `answer` says the card was issued; `cardNo` gets its number.
bool IsIssuedAnswer(const std::string& answer, std::int64_t& cardNo, std::string& why);
