#include "Source/Base/PlanExport.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace Corvalle {

namespace {

// Writes the text to a new file of its own in the target's folder and renames it over the
// target: a link or file already at the target is replaced, never followed or written through,
// and a file cut short by a full disk or a killed process never takes the target's name.
void ReplaceFile(const std::filesystem::path& target, const std::string& text) {
  static std::atomic<unsigned> counter{0};
  std::filesystem::path temporary;
  int descriptor = -1;
  // O_EXCL never opens a name someone else made; the next name is tried instead.
  for (int attempt = 0; attempt < 100 && descriptor == -1; ++attempt) {
    temporary = target;
    temporary += ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
    descriptor =
        open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (descriptor == -1 && errno != EEXIST) {
      break;
    }
  }
  if (descriptor == -1) {
    throw std::runtime_error("Unable to write " + target.string() + ": " + std::strerror(errno));
  }
  bool written = true;
  for (std::size_t at = 0; at < text.size() && written;) {
    const ssize_t count = write(descriptor, text.data() + at, text.size() - at);
    if (count > 0) {
      at += static_cast<std::size_t>(count);
    } else if (count == -1 && errno != EINTR) {
      written = false;
    }
  }
  written = fsync(descriptor) == 0 && written;
  written = close(descriptor) == 0 && written;
  std::error_code error;
  if (written) {
    std::filesystem::rename(temporary, target, error);
  }
  if (!written || error) {
    std::filesystem::remove(temporary, error);
    throw std::runtime_error("Unable to write " + target.string());
  }
}

}  // namespace

std::vector<std::string> ExportWantedLists(const BrickLink::ICombinationData& plan,
                                           std::uint32_t rank, const std::string& directory,
                                           std::uint32_t wantedListId) {
  std::error_code error;
  if (std::filesystem::exists(directory, error) &&
      !std::filesystem::is_directory(directory, error)) {
    throw std::runtime_error(directory + " is not a folder");
  }
  std::filesystem::create_directories(directory);
  std::vector<std::string> written;
  for (const BrickLink::StoreInformation& store : plan.Stores()) {
    const auto path =
        std::filesystem::path(directory) /
        ("plan-" + std::to_string(rank) + "-store-" + std::to_string(store.Id()) + ".xml");
    // A text file ends with a line end, which the pasted list itself does without.
    ReplaceFile(path, plan.CreateWantedListXml(store.Id(), wantedListId) + '\n');
    written.push_back(path.string());
  }
  return written;
}

}  // namespace Corvalle
