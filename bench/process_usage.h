#ifndef MAV_BENCH_PROCESS_USAGE_H_
#define MAV_BENCH_PROCESS_USAGE_H_

// What a process has used so far, read from /proc: CPU time and memory.

#include <sys/types.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace bench_support {

// A field such as "VmHWM:" (peak resident) or "VmRSS:" (resident now) of
// /proc/<pid>/status, in MB; 0 when unreadable. pid may be "self".
inline double StatusMegabytes(const std::string& pid, const char* field) {
  std::ifstream status("/proc/" + pid + "/status");
  const std::string name(field);
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(name, 0) == 0) return std::stod(line.substr(name.size())) / 1024;
  }
  return 0;
}

// User plus system time of a process so far, in seconds (fields 14 and 15 of /proc/<pid>/stat,
// counted after the command name's closing parenthesis, since the name may hold spaces).
inline double CpuSeconds(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  const std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const std::size_t close = text.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  double ticks = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i >= 14) ticks += std::stod(field);
  }
  return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

}  // namespace bench_support

#endif  // MAV_BENCH_PROCESS_USAGE_H_
