#include "save_streams.h"

void SaveStreams::begin(const std::string& url, std::string first_chunk) {
  Stream stream;
  if (!first_chunk.empty()) stream.waiting.push_back(std::move(first_chunk));
  streams_[url] = std::move(stream);
}

Status SaveStreams::write(Stream& stream, std::string_view chunk) {
  if (stream.failed) return std::nullopt;  // reported once, at the first failure
  if (auto error = stream.writer->write(chunk)) {
    stream.failed = true;
    stream.writer.reset();  // drops the temporary file
    return error;
  }
  return std::nullopt;
}

Status SaveStreams::chosen(const std::string& url, const std::optional<std::string>& path) {
  auto found = streams_.find(url);
  if (found == streams_.end() || !found->second.choosing) return std::nullopt;
  Stream& stream = found->second;
  if (!path) {
    streams_.erase(found);
    return std::nullopt;
  }
  auto writer = files_.write_beside(*path);
  if (!writer) {
    streams_.erase(found);
    return std::move(writer).error();
  }
  stream.writer = std::move(writer).value();
  if (auto status = files_.status(*path);
      status && status.value().kind == FileStatus::Kind::kFile) {
    stream.mode = status.value().mode;
  }
  stream.choosing = false;
  Status first_error;
  for (const std::string& chunk : stream.waiting) {
    if (auto error = write(stream, chunk); error && !first_error) first_error = std::move(error);
  }
  stream.waiting.clear();
  if (stream.closed) {
    if (auto error = finish(url); error && !first_error) first_error = std::move(error);
  }
  return first_error;
}

Status SaveStreams::append(const std::string& url, std::string_view chunk) {
  auto found = streams_.find(url);
  if (found == streams_.end() || found->second.closed) return std::nullopt;
  if (found->second.choosing) {
    found->second.waiting.emplace_back(chunk);
    return std::nullopt;
  }
  return write(found->second, chunk);
}

Status SaveStreams::close(const std::string& url) {
  auto found = streams_.find(url);
  if (found == streams_.end()) return std::nullopt;
  found->second.closed = true;
  if (found->second.choosing) return std::nullopt;
  return finish(url);
}

Status SaveStreams::finish(const std::string& url) {
  auto found = streams_.find(url);
  Stream stream = std::move(found->second);
  streams_.erase(found);
  if (stream.failed) return std::nullopt;
  return stream.writer->commit(stream.mode);
}
