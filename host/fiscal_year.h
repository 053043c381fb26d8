#ifndef MAV_HOST_FISCAL_YEAR_H_
#define MAV_HOST_FISCAL_YEAR_H_

#include <cstdint>
#include <string>

#include "data/connection.h"

namespace host {

// Fiscal years are the rows of YearSetting; ledger rows store a year's SN in their Fyear.

// SN of the first YearSetting row with [Using]=1; 0 when there is none or its SN is Null.
// Throws AgentError when the query fails.
std::int32_t GetCurrentFyear(data::Connection& main);

// SN of the first year (by SN) whose last day Dto is on or after the BS date `StrNDate`
// ("yyyy/mm/dd"); 0 when every year ended before it. The start day Dfrom is not consulted.
// Throws AgentError when the query fails or the matching row's SN is Null.
std::int32_t GeTCurYear(data::Connection& main, const std::string& StrNDate);

}  // namespace host

#endif  // MAV_HOST_FISCAL_YEAR_H_
