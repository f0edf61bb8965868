// The host's file operations for the Workspace, inside the granted folders only.
#include "base64.h"
#include "workspace_host.h"
#include "workspace_host_call.h"

namespace {

std::string_view kind_name(FileStatus::Kind kind) {
  switch (kind) {
    case FileStatus::Kind::kFile:
      return "file";
    case FileStatus::Kind::kFolder:
      return "folder";
    case FileStatus::Kind::kOther:
      break;
  }
  return "other";
}

// A whole file's bytes, or the error's name and message.
struct WholeFile {
  std::string error_name;
  std::string text;
};

WholeFile read_whole(FileSystem& files, const std::string& real, const WorkspaceLimits& limits) {
  std::string bytes;
  auto refused =
      read_granted_file(files, real, limits, [&](std::string_view piece) { bytes += piece; });
  if (refused) return {std::string(refused->name), std::move(refused->message)};
  return {"", std::move(bytes)};
}

// A read's answer to the page: the bytes as its JSON reply, and what they were.
struct ReadAnswer {
  WholeFile file;
  TextPrint print;
};

ReadAnswer read_answer(FileSystem& files, const std::string& real, const WorkspaceLimits& limits) {
  ReadAnswer answer{read_whole(files, real, limits), {}};
  if (!answer.file.error_name.empty()) return answer;
  answer.print = TextPrint::of(answer.file.text);
  answer.file.text = dump(json(base64_encode(answer.file.text)));
  return answer;
}

}  // namespace

std::optional<ReadRefusal> read_granted_file(FileSystem& files, const std::string& real,
                                             const WorkspaceLimits& limits,
                                             const std::function<void(std::string_view)>& piece) {
  auto reader = files.open_to_read(real);
  if (!reader) return ReadRefusal{404, "NotReadableError", last_message(reader.error())};
  // The file may have been swapped for a link since it was resolved.
  auto opened = reader.value()->real_path();
  if (!opened || !path_within(real, opened.value(), files.ignores_case())) {
    return ReadRefusal{403, "SecurityError", "the file moved while it was opened"};
  }
  size_t total = 0;
  for (;;) {
    auto bytes = reader.value()->read(limits.chunk_bytes);
    if (!bytes) return ReadRefusal{404, "NotReadableError", last_message(bytes.error())};
    if (bytes.value().empty()) return std::nullopt;
    total += bytes.value().size();
    if (total > limits.max_resource_bytes) {
      return ReadRefusal{413, "QuotaExceededError", "the file is larger than the limit"};
    }
    piece(bytes.value());
  }
}

void WorkspaceHost::file_open(const Call& call) {
  auto path = call.text(0);
  if (!path) return answer_error(call, "TypeError", "no path");
  const bool folder = call.flag(1);
  const bool create = call.flag(2);
  const bool exclusive = call.flag(3);
  const FileStatus::Kind wanted = folder ? FileStatus::Kind::kFolder : FileStatus::Kind::kFile;
  auto real = granted_.resolve_existing(*path);
  if (real) {
    if (create && exclusive) return answer_error(call, "InvalidModificationError", "it exists");
    auto status = files_.status(real.value());
    if (!status || status.value().kind != wanted) {
      return answer_error(call, "TypeMismatchError", "not a " + std::string(kind_name(wanted)));
    }
    return answer(call, "true");
  }
  if (!create) return answer_error(call, "NotFoundError", last_message(real.error()));
  auto target = granted_.resolve_new(*path);
  if (!target) return answer_error(call, "SecurityError", last_message(target.error()));
  Status error = folder ? files_.create_folder(target.value()) : files_.create_file(target.value());
  if (error) return answer_error(call, "InvalidModificationError", last_message(*error));
  if (!folder) copies_.written(target.value(), TextPrint::of(""));
  answer(call, "true");
}

void WorkspaceHost::file_entries(const Call& call) {
  auto path = call.text(0);
  if (!path) return answer_error(call, "TypeError", "no path");
  auto real = granted_.resolve_existing(*path);
  if (!real) return answer_error(call, "NotFoundError", last_message(real.error()));
  auto listing = files_.list_folder(real.value());
  if (!listing) return answer_error(call, "NotReadableError", last_message(listing.error()));
  if (!path_within(real.value(), listing.value().real_path, files_.ignores_case())) {
    return answer_error(call, "SecurityError", "the folder moved while it was opened");
  }
  json list = json::array();
  for (const FolderEntry& entry : listing.value().entries) {
    // A link is listed only when it stays inside the granted folders.
    FileStatus::Kind kind = entry.kind;
    if (kind == FileStatus::Kind::kOther) {
      auto target = granted_.resolve_existing(*path + "/" + entry.name);
      if (!target) continue;
      auto status = files_.status(target.value());
      if (!status) continue;
      kind = status.value().kind;
    }
    if (kind == FileStatus::Kind::kOther) continue;
    list.push_back({{"name", entry.name}, {"folder", kind == FileStatus::Kind::kFolder}});
  }
  answer(call, dump(list));
}

void WorkspaceHost::file_status(const Call& call) {
  auto path = call.text(0);
  if (!path) return answer_error(call, "TypeError", "no path");
  auto real = granted_.resolve_existing(*path);
  if (!real) return answer_error(call, "NotFoundError", last_message(real.error()));
  auto status = files_.status(real.value());
  if (!status) return answer_error(call, "NotFoundError", last_message(status.error()));
  answer(call, dump(json{{"size", status.value().size},
                         {"modified", status.value().modified_ms},
                         {"kind", kind_name(status.value().kind)}}));
}

void WorkspaceHost::file_read(const Call& call) {
  auto path = call.text(0);
  if (!path) return answer_error(call, "TypeError", "no path");
  auto real = granted_.resolve_existing(*path);
  if (!real) return answer_error(call, "NotFoundError", last_message(real.error()));
  // Reading and encoding a big file (a bundle, a map) would hold the window:
  // done elsewhere, like the search whose results the frontend reads next.
  run_elsewhere([&files = files_, real = real.value(),
                 limits = limits_] { return read_answer(files, real, limits); },
                [call, real = real.value()](WorkspaceHost& host, ReadAnswer read) {
                  if (!read.file.error_name.empty()) {
                    return host.answer_error(call, read.file.error_name, read.file.text);
                  }
                  host.copies_.given(real, read.print);
                  host.answer(call, std::move(read.file.text));
                });
}

void WorkspaceHost::file_write(const Call& call) {
  auto path = call.text(0);
  auto encoded = call.text(1);
  if (!path || !encoded) return answer_error(call, "TypeError", "no path or content");
  auto bytes = base64_decode(*encoded);
  if (!bytes) return answer_error(call, "TypeError", "the content is not base64");
  // An existing file keeps its mode and is replaced whole; a new one is made.
  std::optional<uint32_t> mode;
  std::optional<TextPrint> on_disk;
  auto target = granted_.resolve_existing(*path);
  if (target) {
    auto status = files_.status(target.value());
    if (!status || status.value().kind != FileStatus::Kind::kFile) {
      return answer_error(call, "TypeMismatchError", "not a file");
    }
    mode = status.value().mode;
    WholeFile disk = read_whole(files_, target.value(), limits_);
    if (!disk.error_name.empty()) return answer_error(call, disk.error_name, disk.text);
    on_disk = TextPrint::of(disk.text);
  } else {
    target = granted_.resolve_new(*path);
    if (!target) return answer_error(call, "SecurityError", last_message(target.error()));
  }
  // The frontend's own failure report goes to the page's console only.
  const TextPrint text = TextPrint::of(*bytes);
  if (auto why = copies_.refusal(target.value(), on_disk, text)) {
    report("not saved: " + target.value() + ": " + *why);
    return answer_error(call, "NoModificationAllowedError", *why);
  }
  auto writer = files_.write_beside(target.value());
  if (!writer)
    return answer_error(call, "NoModificationAllowedError", last_message(writer.error()));
  Status error = writer.value()->write(*bytes);
  if (!error) error = writer.value()->commit(mode);
  if (error) return answer_error(call, "NoModificationAllowedError", last_message(*error));
  copies_.written(target.value(), text);
  answer(call, "true");
}

void WorkspaceHost::file_remove(const Call& call) {
  auto path = call.text(0);
  if (!path) return answer_error(call, "TypeError", "no path");
  // The name itself is removed, so its folder is what must be inside.
  auto target = granted_.resolve_new(*path);
  if (!target) return answer_error(call, "SecurityError", last_message(target.error()));
  auto status = files_.status(target.value());
  if (!status) return answer_error(call, "NotFoundError", last_message(status.error()));
  if (status.value().kind == FileStatus::Kind::kFolder) {
    return answer_error(call, "InvalidModificationError", "folders are not removed");
  }
  if (auto error = files_.remove_file(target.value())) {
    return answer_error(call, "NoModificationAllowedError", last_message(*error));
  }
  copies_.forget(target.value());
  answer(call, "true");
}

void WorkspaceHost::file_rename(const Call& call) {
  auto from = call.text(0);
  auto to = call.text(1);
  if (!from || !to) return answer_error(call, "TypeError", "no paths");
  auto source = granted_.resolve_new(*from);
  auto target = granted_.resolve_new(*to);
  if (!source || !target) return answer_error(call, "SecurityError", "outside the granted folders");
  if (auto error = files_.rename(source.value(), target.value())) {
    return answer_error(call, "InvalidModificationError", last_message(*error));
  }
  copies_.renamed(source.value(), target.value());
  answer(call, "true");
}
