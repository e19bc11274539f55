#include "cli/mail_inputs.h"

#include <algorithm>

namespace korvani::cli {
namespace {

// Files mail programs keep beside the mails: never a mail, never worth a word.
bool isControlFile(const std::string& name) {
  return name.empty() || name[0] == '.' || name.starts_with("dovecot") ||
         name.starts_with("courier") || name == "maildirfolder" || name == "subscriptions";
}

bool hasFolder(const std::vector<FolderEntry>& entries, std::string_view name) {
  return std::any_of(entries.begin(), entries.end(), [&](const FolderEntry& entry) {
    return entry.kind == EntryKind::Folder && entry.name == name;
  });
}

class Collector {
 public:
  Collector(MailInputs& inputs, bool recursive) : inputs(inputs), recursive(recursive) {}

  void folder(Folder& held, bool named) {
    std::vector<FolderEntry> entries;
    int errorNumber = 0;
    if (!held.list(entries, errorNumber)) {
      inputs.unreadable.push_back({held.path(), errorNumber});
      return;
    }
    const std::size_t before = inputs.mails.size();
    if (isMaildir(entries)) {
      maildir(held, entries);
    } else {
      for (const FolderEntry& entry : entries) {
        if (entry.kind == EntryKind::RegularFile && !isControlFile(entry.name)) {
          inputs.mails.push_back({joinPath(held.path(), entry.name), false});
        }
      }
      for (const FolderEntry& entry : entries) {
        if (entry.kind == EntryKind::Folder && entry.name[0] != '.') subfolder(held, entry.name);
      }
    }
    if (named && inputs.mails.size() == before) inputs.emptyFolders.push_back(held.path());
  }

 private:
  // The mails of `cur/` and `new/` together in name order; then, with `recursive`, the Maildir++
  // folders (".Sent") below.
  void maildir(Folder& held, const std::vector<FolderEntry>& entries) {
    std::vector<std::pair<std::string, std::string>> found;  // file name, path
    for (const char* part : {"cur", "new"}) {
      int errorNumber = 0;
      std::unique_ptr<Folder> sub = held.openFolder(part, errorNumber);
      std::vector<FolderEntry> files;
      if (!sub || !sub->list(files, errorNumber)) {
        inputs.unreadable.push_back({joinPath(held.path(), part), errorNumber});
        continue;
      }
      for (const FolderEntry& file : files) {
        if (file.kind == EntryKind::RegularFile && file.name[0] != '.') {
          found.emplace_back(file.name, joinPath(sub->path(), file.name));
        }
      }
    }
    std::sort(found.begin(), found.end());
    for (auto& [name, path] : found) inputs.mails.push_back({std::move(path), false});
    for (const FolderEntry& entry : entries) {
      if (entry.kind == EntryKind::Folder && entry.name.size() > 1 && entry.name[0] == '.') {
        subfolder(held, entry.name);
      }
    }
  }

  void subfolder(Folder& held, const std::string& name) {
    if (!recursive) {
      inputs.skippedFolders.push_back(joinPath(held.path(), name));
      return;
    }
    int errorNumber = 0;
    if (std::unique_ptr<Folder> sub = held.openFolder(name, errorNumber)) {
      folder(*sub, false);
    } else {
      inputs.unreadable.push_back({joinPath(held.path(), name), errorNumber});
    }
  }

  MailInputs& inputs;
  bool recursive;
};

}  // namespace

bool isMaildir(const std::vector<FolderEntry>& entries) {
  return hasFolder(entries, "cur") && hasFolder(entries, "new");
}

MailInputs collectMailInputs(Platform& platform, const std::vector<std::string>& arguments,
                             bool recursive) {
  MailInputs inputs;
  Collector collector(inputs, recursive);
  for (const std::string& argument : arguments) {
    int errorNumber = 0;
    std::unique_ptr<Folder> folder =
        argument == "-" ? nullptr : platform.openFolder(argument, false, errorNumber);
    if (folder) {
      collector.folder(*folder, true);
    } else {
      inputs.mails.push_back({argument, true});  // opening it as a mail says what it is
    }
  }
  return inputs;
}

}  // namespace korvani::cli
