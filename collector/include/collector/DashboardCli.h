// The dashboard's commands of tavcollector:
//   tavcollector user add NAME --db DB     password from standard input (one line)
//   tavcollector seed --db DB [--count N] [--days D] [--end YYYY-MM-DD] [--random-seed S]
#pragma once

namespace collector {

// argv[1] is the command's name; the result is the process's exit code.
int userCommand(int argc, char** argv);
int seedCommand(int argc, char** argv);

extern const char* const kDashboardUsage;

} // namespace collector
