#include "host/log_file.h"

#include <ctime>
#include <system_error>
#include <utility>

namespace host {

namespace fs = std::filesystem;

RotatingLogFile::RotatingLogFile(fs::path path, std::uintmax_t max_bytes, int files)
    : path_(std::move(path)), max_bytes_(max_bytes), files_(files < 1 ? 1 : files) {
  out_.open(path_, std::ios::binary | std::ios::app);
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(path_, ec);
  size_ = ec ? 0 : size;
}

fs::path RotatingLogFile::Numbered(int n) const {
  if (n == 0) return path_;
  return path_.parent_path() /
         (path_.stem().string() + "." + std::to_string(n) + path_.extension().string());
}

void RotatingLogFile::Rotate() {
  // The current file is closed first: Windows moves no file that is open.
  out_.close();
  std::error_code ec;
  fs::remove(Numbered(files_ - 1), ec);
  for (int n = files_ - 2; n >= 0; --n) {
    if (fs::exists(Numbered(n), ec)) fs::rename(Numbered(n), Numbered(n + 1), ec);
  }
  if (files_ == 1) fs::remove(path_, ec);
  out_.open(path_, std::ios::binary | std::ios::app);
  const std::uintmax_t size = fs::file_size(path_, ec);
  size_ = ec ? 0 : size;  // not 0 when the file could not be moved
}

void RotatingLogFile::Append(const std::string& line) {
  const std::uintmax_t bytes = line.size() + 2;
  if (size_ > 0 && size_ + bytes > max_bytes_) Rotate();
  if (!out_.is_open()) return;
  out_ << line << "\r\n";
  out_.flush();
  if (!out_) {
    out_.clear();  // a full disk: the next line tries again
    return;
  }
  size_ += bytes;
}

std::unique_ptr<RotatingLogFile> OpenLogFile(const std::vector<fs::path>& folders) {
  for (const fs::path& folder : folders) {
    if (folder.empty()) continue;
    std::error_code ec;
    fs::create_directories(folder, ec);
    auto file = std::make_unique<RotatingLogFile>(folder / kLogFileName);
    if (file->is_open()) return file;
  }
  return nullptr;
}

std::string LocalDateTime(std::chrono::system_clock::time_point when) {
  const std::time_t t = std::chrono::system_clock::to_time_t(when);
  std::tm local{};
  localtime_r(&t, &local);
  char text[32];
  const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return std::string(text, n);
}

LogBuffer::LogBuffer(std::ostream& console, std::unique_ptr<RotatingLogFile> file,
                     std::function<std::chrono::system_clock::time_point()> now)
    : console_(console), file_(std::move(file)), now_(std::move(now)) {}

LogBuffer::~LogBuffer() {
  if (!pending_.empty()) Line(pending_);
}

LogBuffer::int_type LogBuffer::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  const char ch = traits_type::to_char_type(c);
  if (ch == '\n') {
    Line(pending_);
    pending_.clear();
  } else {
    pending_ += ch;
  }
  return c;
}

std::streamsize LogBuffer::xsputn(const char* text, std::streamsize count) {
  for (std::streamsize i = 0; i < count; ++i) overflow(traits_type::to_int_type(text[i]));
  return count;
}

int LogBuffer::sync() { return 0; }  // every complete line went out when it ended

void LogBuffer::Line(const std::string& line) {
  console_ << line << std::endl;
  console_.clear();  // no console: the file still gets the line, the next line tries again
  if (file_) {
    const auto when = now_ ? now_() : std::chrono::system_clock::now();
    file_->Append(LocalDateTime(when) + " " + line);
  }
}

}  // namespace host
