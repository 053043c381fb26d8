// The platform parts of the environment on Windows.
#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/environment.h"

namespace host {

std::filesystem::path ExecutableFolder() {
  // The path may be longer than MAX_PATH; a buffer that was filled to its end is too short.
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return std::filesystem::current_path();
    if (n < buffer.size()) {
      buffer.resize(n);
      return std::filesystem::path(buffer).parent_path();
    }
    buffer.resize(buffer.size() * 2);
  }
}

bool NetworkInterfaceUp() {
  // The WinINet test of the accounting installation: a 255-character ANSI connection-name
  // buffer announced as 254 long; only a return value of exactly 1 means online.
  DWORD flags = 0;
  char name[255] = {};
  return InternetGetConnectedStateExA(&flags, name, 254, 0) == 1;
}

std::filesystem::path DefaultPrintCopyTarget() { return "C:\\ChPrint.mdb"; }

std::string HostName() {
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof name;
  if (!GetComputerNameA(name, &size)) return "";
  return std::string(name, size);
}

std::int64_t ProcessId() { return GetCurrentProcessId(); }

bool ProcessAlive(std::int64_t pid) {
  if (pid <= 0) return false;
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
  if (process == nullptr) return GetLastError() == ERROR_ACCESS_DENIED;
  const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return running;
}

std::vector<std::filesystem::path> LogFolders(const std::filesystem::path& program_folder) {
  std::vector<std::filesystem::path> folders = {program_folder};
  const wchar_t* local = _wgetenv(L"LOCALAPPDATA");
  if (local != nullptr && *local != L'\0') {
    folders.push_back(std::filesystem::path(local) / L"MAV Services");
  }
  return folders;
}

void JoinParentConsole() {
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  const bool redirected = out != nullptr && out != INVALID_HANDLE_VALUE;
  if (!AttachConsole(ATTACH_PARENT_PROCESS) || redirected) return;
  std::FILE* ignored = nullptr;
  freopen_s(&ignored, "CONOUT$", "w", stdout);
  freopen_s(&ignored, "CONOUT$", "w", stderr);
}

}  // namespace host
