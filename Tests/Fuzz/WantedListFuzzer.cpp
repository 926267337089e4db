// The wanted-list reader on arbitrary bytes, in either format: it may refuse a list, with null or
// with the exceptions it documents for unreadable numbers and items, and must do nothing else.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "Source/Base/BrickStore/XmlParser.h"
#include "Tests/Fuzz/FuzzSupport.h"

namespace {

// The reader takes a path only. One file per process, rewritten for every input; in /dev/shm
// when there is one, because a disk-backed file would cost more than the parse.
class ScratchFile {
 public:
  ScratchFile() {
    const std::filesystem::path directory = std::filesystem::is_directory("/dev/shm")
                                                ? std::filesystem::path("/dev/shm")
                                                : std::filesystem::temp_directory_path();
    path =
        (directory / ("corvalle-fuzz-wanted-list-" + std::to_string(getpid()) + ".xml")).string();
  }
  ~ScratchFile() { std::remove(path.c_str()); }
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  void Write(const std::uint8_t* data, std::size_t size) const {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    file.close();
    if (!file) {
      // Not the reader's fault: stop rather than fuzz a stale file.
      std::perror(path.c_str());
      std::abort();
    }
  }

  std::string path;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Corvalle::Fuzz::SilenceLogging();
  static const ScratchFile scratch;
  static const auto parser = Corvalle::BrickStore::CreateXmlParser();
  scratch.Write(data, size);
  try {
    const auto items = parser->ParseItems(scratch.path.c_str());
    static_cast<void>(items);
  } catch (const std::invalid_argument&) {
  } catch (const std::out_of_range&) {
  }
  // A std::runtime_error is documented only for a directory or an unreadable file, never for
  // this one, so it escapes and counts as a failure like any other exception.
  return 0;
}
