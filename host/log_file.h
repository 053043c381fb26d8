#ifndef MAV_HOST_LOG_FILE_H_
#define MAV_HOST_LOG_FILE_H_

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

namespace host {

// The log file's name, and its size cap: `kLogFiles` files of at most `kLogFileBytes` each
// (the current one and the older mav-services.1.log to mav-services.4.log, newest first).
inline constexpr const char* kLogFileName = "mav-services.log";
inline constexpr std::uintmax_t kLogFileBytes = std::uintmax_t{1024} * 1024;  // 1 MiB
inline constexpr int kLogFiles = 5;

// A log file of capped size. Lines end in CR LF (the file is read on Windows).
class RotatingLogFile {
 public:
  // Opens `path` for appending (created when missing); is_open() tells whether it worked.
  // `max_bytes`: the size a file may reach; `files`: how many are kept, the current one
  // included (at least 1).
  RotatingLogFile(std::filesystem::path path, std::uintmax_t max_bytes = kLogFileBytes,
                  int files = kLogFiles);

  bool is_open() const { return out_.is_open(); }
  const std::filesystem::path& path() const { return path_; }

  // Appends `line` and CR LF. When that would take a file that already holds lines past the
  // cap, the files move up first: <name>.log becomes <name>.1.log, <name>.1.log becomes
  // <name>.2.log, ..., and the oldest beyond `files` is deleted. When a file cannot be
  // moved (another program holds it), the line goes to the current file and the move is
  // tried again with the next line.
  void Append(const std::string& line);

  // <name>.<n>.log beside the current file; n = 0 is the current file itself.
  std::filesystem::path Numbered(int n) const;

 private:
  void Rotate();

  std::filesystem::path path_;
  std::uintmax_t max_bytes_;
  int files_;
  std::ofstream out_;
  std::uintmax_t size_ = 0;  // bytes in the current file
};

// The log file mav-services.log in the first of `folders` where it can be opened for
// appending (a missing folder is created); null when none can.
std::unique_ptr<RotatingLogFile> OpenLogFile(const std::vector<std::filesystem::path>& folders);

// The stream buffer of the agent's log: every complete line written to it goes to `console`
// as it is and, when there is a file, to the file with the local date and time of `now`
// before it ("2026-12-08 14:05:09 "). A console that cannot be written (a desktop program
// on Windows has none) does not keep the line from the file.
class LogBuffer : public std::streambuf {
 public:
  LogBuffer(std::ostream& console, std::unique_ptr<RotatingLogFile> file,
            std::function<std::chrono::system_clock::time_point()> now = nullptr);
  ~LogBuffer() override;

  const RotatingLogFile* file() const { return file_.get(); }

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* text, std::streamsize count) override;
  int sync() override;

 private:
  void Line(const std::string& line);

  std::ostream& console_;
  std::unique_ptr<RotatingLogFile> file_;
  std::function<std::chrono::system_clock::time_point()> now_;
  std::string pending_;  // the line being written, without its end
};

// "yyyy-mm-dd hh:mm:ss" in local time.
std::string LocalDateTime(std::chrono::system_clock::time_point when);

}  // namespace host

#endif  // MAV_HOST_LOG_FILE_H_
