#ifndef MAV_HOST_CONNECTOR_FILE_H_
#define MAV_HOST_CONNECTOR_FILE_H_

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "host/agent_state.h"

namespace host {

// The connector file "MAVConnector.xml" that another program of the installation writes
// into the agent's folder. It is ANSI text read line by line; lines 11 to 14 (counted from
// 1) hold the encoded server, catalog, login and password.

// One encoded character code (0..255; digits of the file arrive as 0..9) as the text it
// stands for: one character, in UTF-8. `LngAsc` is left holding the mapped code. Codes
// outside the table stand for the Windows-1252 character of that code; mapped codes 0..9
// come out as the decimal digit.
std::string GetDc(std::int32_t& LngAsc);

// One encoded line (raw bytes) decoded character by character; "" for an empty line.
std::string DecodeConnectorLine(std::string_view line);

// Reads the connector file at `StrFile` into state.CnServer, CnDatabase, CnUser and
// CnPassword. A file shorter than 14 lines leaves the missing fields as they were.
// Throws AgentError kFileNotFound when the file cannot be opened or read.
void FileInfo(AgentState& state, const std::filesystem::path& StrFile);

}  // namespace host

#endif  // MAV_HOST_CONNECTOR_FILE_H_
