#include "announcement.h"

#include <nlohmann/json.hpp>

#include <random>

namespace {

// The same time for every wrong secret of one length, so that a guess
// learns nothing from how long the refusal took.
bool same_secret(std::string_view given, std::string_view secret) {
  if (given.size() != secret.size()) return false;
  unsigned char difference = 0;
  for (size_t i = 0; i < given.size(); ++i) {
    difference |= static_cast<unsigned char>(given[i] ^ secret[i]);
  }
  return difference == 0;
}

// "ws://127.0.0.1:PORT/ID", "ws://[::1]:PORT/ID" or "ws://localhost:PORT/ID",
// where ID is what Node's inspector makes: letters, digits and "-".
bool loopback_websocket(std::string_view url) {
  std::string_view rest;
  for (std::string_view prefix : {"ws://127.0.0.1:", "ws://[::1]:", "ws://localhost:"}) {
    if (url.starts_with(prefix)) rest = url.substr(prefix.size());
  }
  size_t digits = 0;
  while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9') ++digits;
  if (digits == 0 || digits > 5 || std::stoul(std::string(rest.substr(0, digits))) > 65535) {
    return false;
  }
  rest.remove_prefix(digits);
  if (rest.size() < 2 || rest.front() != '/') return false;
  for (char c : rest.substr(1)) {
    const bool allowed =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
    if (!allowed) return false;
  }
  return true;
}

ErrorChain refused(std::string why) {
  return ErrorChain::from_message(std::move(why)).with_context("an announcement was refused");
}

}  // namespace

Result<Announcement> read_announcement(std::string_view line, std::string_view secret) {
  nlohmann::json message = nlohmann::json::parse(line, nullptr, false);
  if (!message.is_object()) return refused("it is no JSON object");
  auto secret_field = message.find("secret");
  if (secret_field == message.end() || !secret_field->is_string() ||
      !same_secret(secret_field->get_ref<const std::string&>(), secret)) {
    return refused("it is not from this run");
  }
  auto pid = message.find("pid");
  if (pid == message.end() || !pid->is_number_integer() || pid->get<int64_t>() <= 0 ||
      pid->get<int64_t>() > INT32_MAX) {
    return refused("its pid is no positive number");
  }
  auto ws = message.find("ws");
  if (ws == message.end() || !ws->is_string() ||
      !loopback_websocket(ws->get_ref<const std::string&>())) {
    return refused("its address is no loopback WebSocket");
  }
  Announcement announcement;
  announcement.pid = static_cast<int>(pid->get<int64_t>());
  announcement.ws = ws->get<std::string>();
  if (auto script = message.find("script"); script != message.end() && script->is_string()) {
    announcement.script = script->get<std::string>();
  }
  return announcement;
}

std::string new_run_secret() {
  std::random_device random;
  static constexpr char kHex[] = "0123456789abcdef";
  std::string secret;
  for (int i = 0; i < 32; ++i) {
    const unsigned byte = random() & 0xFF;
    secret += kHex[byte >> 4];
    secret += kHex[byte & 0xF];
  }
  return secret;
}
