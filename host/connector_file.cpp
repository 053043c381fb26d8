#include "host/connector_file.h"

#include <fstream>
#include <iterator>

#include "base/agent_error.h"
#include "base/utf8.h"

namespace host {

std::string GetDc(std::int32_t& LngAsc) {
  std::int32_t k = LngAsc;
  if (k >= 128 && k <= 153) {
    k -= 63;  // "A".."Z"
  } else if (k >= 154 && k <= 179) {
    k -= 57;  // "a".."z"
  } else if (k >= 200 && k <= 209) {
    k -= 200;  // the digits 0..9, written as digits below
  } else {
    switch (k) {
      case 180:
        k = '-';
        break;
      case 181:
        k = '+';
        break;
      case 182:
        k = '[';
        break;
      case 183:
        k = ']';
        break;
      case 184:
        k = '\\';
        break;
      case 185:
        k = ':';
        break;
      case 186:
        k = ',';
        break;
      case 187:
        k = '.';
        break;
      case 188:
        k = '/';
        break;
      case 255:
        k = ' ';
        break;
      default:
        break;
    }
  }
  LngAsc = k;
  if (k >= 0 && k <= 9) return std::string(1, static_cast<char>('0' + k));
  // Every code reaching here is a byte 10..255 of the ANSI code page (Windows-1252), which
  // the agent's texts carry as UTF-8: byte 0xE9 is "é", two bytes in UTF-8.
  return base::Windows1252ToUtf8(std::string(1, static_cast<char>(static_cast<unsigned char>(k))));
}

std::string DecodeConnectorLine(std::string_view line) {
  std::string text;
  for (char c : line) {
    const unsigned char byte = static_cast<unsigned char>(c);
    // A digit of the file stands for its value, which GetDc then writes as the same digit.
    std::int32_t code = (byte >= '0' && byte <= '9') ? byte - '0' : byte;
    text += GetDc(code);
  }
  return text;
}

void FileInfo(AgentState& state, const std::filesystem::path& StrFile) {
  std::ifstream file(StrFile, std::ios::binary);
  if (!file) {
    throw base::AgentError(base::kFileNotFound, "File not found: " + StrFile.string());
  }
  const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (file.bad()) {
    throw base::AgentError(base::kFileNotFound, "Cannot read " + StrFile.string());
  }

  // Lines end at CR LF, a lone LF or a lone CR, as a text stream reads them; a line break at
  // the very end does not start another line.
  std::size_t pos = 0;
  int line_number = 0;  // 1 = the first line
  while (pos < bytes.size()) {
    std::size_t end = bytes.find_first_of("\r\n", pos);
    if (end == std::string::npos) end = bytes.size();
    const std::string_view line(bytes.data() + pos, end - pos);
    pos = end;
    if (pos < bytes.size()) {
      if (bytes[pos] == '\r' && pos + 1 < bytes.size() && bytes[pos + 1] == '\n') ++pos;
      ++pos;
    }
    ++line_number;
    switch (line_number) {
      case 11:
        state.CnServer = DecodeConnectorLine(line);
        break;
      case 12:
        state.CnDatabase = DecodeConnectorLine(line);
        break;
      case 13:
        state.CnUser = DecodeConnectorLine(line);
        break;
      case 14:
        state.CnPassword = DecodeConnectorLine(line);
        break;
      default:
        break;  // line 1 and 15 are plain text, 2..10 hold nothing the agent uses
    }
  }
}

}  // namespace host
