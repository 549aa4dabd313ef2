#include "config/LogFileUnit.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "config/SysOptionUnit.h"
#include "platform/DateTime.h"

TLogFile* LogFile = nullptr;

TLogFile::TLogFile(const std::string& fileName) : FileName(fileName) {}

void TLogFile::AddLog(const std::string& text) {
  if (SysOption != nullptr && !SysOption->WriteLog) return;
  const std::string entry = FormatDateTime("yyyy-mm-dd hh:nn:ss ", Now()) + text + "\r\n";

  // Opening and closing are the costly part of an entry and need no lock: each call has a
  // descriptor of its own, and O_APPEND puts every write at the end of the file. Only the
  // writing is serialised, so that a write cut short (a full disk, a signal) and its rest never
  // have another entry between them.
  const int fd = ::open(FileName.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return;
  {
    std::lock_guard<std::mutex> guard(FLock);
    // One write for the whole entry, so that a reader (or another process appending) never sees
    // half a line from us unless the disk fills up in the middle of it.
    size_t done = 0;
    while (done < entry.size()) {
      const ssize_t n = ::write(fd, entry.data() + done, entry.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    // An entry that did not fit (a full disk) is dropped whole: the part that was written is
    // cut off again, so that the next entry does not continue its line. (O_APPEND leaves the
    // offset at the end of what was written.)
    if (done > 0 && done < entry.size()) {
      const off_t end = ::lseek(fd, 0, SEEK_CUR);
      if (end >= static_cast<off_t>(done)) {
        [[maybe_unused]] const int ignored = ::ftruncate(fd, end - static_cast<off_t>(done));
      }
    }
  }
  ::close(fd);
}

std::string LogFileNameFor(const std::string& directory, double startDay) {
  return directory + FormatDateTime("yyyymmdd", startDay) + ".LOG";
}
