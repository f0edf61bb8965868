// Fetches an inspector's target list: one HTTP/1.0 GET of /json per attempt.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

#include "error_chain.h"
#include "net.h"

inline constexpr std::chrono::milliseconds kRetryWindow{5000};
inline constexpr std::chrono::milliseconds kRetryPause{150};
inline constexpr std::chrono::milliseconds kReceiveTimeout{3000};
// A peer that sends more than this is not an inspector worth waiting for.
inline constexpr size_t kMaxResponseBytes = size_t{64} << 20;

// The exact request bytes for `address`, as typed by the user.
std::string target_list_request(std::string_view address);

// A connection to the inspector at `address` as typed (each resolved address
// in turn), with nothing sent.
Result<net::Connection> connect_to_inspector(std::string_view address);

// One attempt: connect, send, read until closed, check, return the body.
Result<std::string> fetch_target_list_once(std::string_view address);

// Repeats failed attempts until 5 s have passed since the first began. A body
// that `ready` refuses counts as a failed attempt, but is returned as it is
// once the window is over, so that its refusal can be told.
Result<std::string> fetch_target_list(std::string_view address,
                                      bool (*ready)(std::string_view body) = nullptr);
