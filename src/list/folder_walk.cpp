#include "list/folder_walk.h"

#include <optional>

namespace quillet {
namespace {

// One folder on the current walk path. Its identity is asked for only when a directory
// link is met below it, so a walk without links costs no extra system calls.
struct PathStep {
  const std::string* folder;  // with trailing "\"
  std::optional<FolderIdentity> identity;
  bool identified = false;
};

// What the search delivered, in its order: the "." entry (record this folder; empty name)
// or a subfolder to descend into.
struct Step {
  std::string subfolder;
  bool isLink = false;
};

class Walker {
 public:
  Walker(DirectorySearch& search, std::vector<std::string>& folderList, const std::function<void()>& onRecorded)
      : search_(search), folderList_(folderList), onRecorded_(onRecorded) {}

  void Walk(const std::string& dir, WalkDepth depth) {
    // The listing is replayed after the search is closed, so only one search is open at a
    // time however deep the tree goes.
    std::vector<Step> steps;
    const bool started = search_.List(dir, [&](const DirectoryEntry& entry) {
      if (!entry.isDirectory) return;
      if (entry.name == ".") {
        steps.push_back(Step{});
      } else if (entry.name != ".." && depth != WalkDepth::FolderOnly) {
        steps.push_back(Step{entry.name, entry.isLink});
      }
    });
    if (!started) return;

    const std::string folder = WithTrailingSeparator(dir);
    path_.push_back(PathStep{&folder, std::nullopt, false});
    const WalkDepth childDepth = depth == WalkDepth::DirectSubfolders ? WalkDepth::FolderOnly : WalkDepth::AllLevels;
    for (const Step& step : steps) {
      if (step.subfolder.empty()) {
        folderList_.push_back(folder);
        if (onRecorded_) onRecorded_();
        continue;
      }
      const std::string child = folder + step.subfolder;
      if (step.isLink && LeadsBackOntoPath(child)) continue;
      Walk(child, childDepth);
    }
    path_.pop_back();
  }

 private:
  bool LeadsBackOntoPath(const std::string& link) {
    const std::optional<FolderIdentity> target = search_.Identify(link);
    if (!target) return false;
    for (PathStep& step : path_) {
      if (!step.identified) {
        step.identity = search_.Identify(*step.folder);
        step.identified = true;
      }
      if (step.identity && *step.identity == *target) return true;
    }
    return false;
  }

  DirectorySearch& search_;
  std::vector<std::string>& folderList_;
  const std::function<void()>& onRecorded_;
  std::vector<PathStep> path_;
};

}  // namespace

std::string WithTrailingSeparator(const std::string& path) {
  if (!path.empty() && path.back() == '\\') return path;
  return path + "\\";
}

void AddAllFoldersInDir(DirectorySearch& search, const std::string& dir, WalkDepth depth,
                        std::vector<std::string>& folderList, const std::function<void()>& onRecorded) {
  Walker(search, folderList, onRecorded).Walk(dir, depth);
}

std::vector<std::string> SubfoldersToAdd(const std::vector<std::string>& folderList,
                                         const std::string& chosenFolder) {
  const std::string chosen = WithTrailingSeparator(chosenFolder);
  std::vector<std::string> result;
  for (const std::string& folder : folderList) {
    if (WithTrailingSeparator(folder) != chosen) result.push_back(folder);
  }
  return result;
}

}  // namespace quillet
