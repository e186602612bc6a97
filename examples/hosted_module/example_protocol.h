// The example hosted module's messages over linkmod, and its results.
//
// Payloads are UTF-8 text (linkctl sends and shows them as such). Every
// request is answered to its sender with the request's code + 1.
//
//   code  request            answer
//   100   a text ("/send")   101 "received: TEXT"
//   200   echo TEXT          201 TEXT
//   202   uptime             203 "up N ms"
//   204   stop               205 "stopping"; the remote host then ends
//   206   ping               207 "pong"
#pragma once

#include <cstdint>

namespace example {

inline constexpr int32_t kCodeText = 100;
inline constexpr int32_t kCodeEcho = 200;
inline constexpr int32_t kCodeUptime = 202;
inline constexpr int32_t kCodeStop = 204;
inline constexpr int32_t kCodePing = 206;
inline constexpr int32_t AnswerCode(int32_t request) { return request + 1; }

// Module types: the utility mode's sender, and the remote mode's default.
inline constexpr int32_t kSenderModuleType = 7000;
inline constexpr int32_t kDefaultServerModuleType = 7001;

// Exit codes of utility mode (GetResult).
inline constexpr int32_t kResultSuccess = 0;
inline constexpr int32_t kResultNotRun = 1;         // no command was started
inline constexpr int32_t kResultBadCommand = 2;     // unknown command or bad argument
inline constexpr int32_t kResultTokenRejected = 3;  // Initialize got no valid caller token
inline constexpr int32_t kResultNoLinkmod = 4;      // the linkmod library was not found or is incomplete
inline constexpr int32_t kResultNotRegistered = 5;  // linkmod refused the registration
inline constexpr int32_t kResultNotDelivered = 6;   // no live target took the message
inline constexpr int32_t kResultNoAnswer = 7;       // delivered, but nobody answered in time

}  // namespace example
