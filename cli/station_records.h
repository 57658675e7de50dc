#pragma once
// The station command's board records, kept apart from its option parsing: the
// --records-db option, korvex.ini's station name and database, and the record
// keeper with its background sync for the length of the run. main() wraps the
// station command in RunWithStationRecords.

#include <memory>
#include <string>
#include <vector>

#include "cli/commands.h"

namespace korvex {
class RecordKeeper;
}

namespace korvex::cli {

// Takes "--records-db CONN" or "--records-db=CONN" out of args. False with an error
// when it has no value or is given twice.
bool TakeRecordsDbOption(std::vector<std::string>& args, std::string& connection,
                         std::string& error);

// Runs the station with its records kept in the home folder and, with a database from
// --records-db or korvex.ini, sent there in the background.
int RunWithStationRecords(const CommandContext& context,
                          int (*runStation)(const CommandContext&, const std::shared_ptr<RecordKeeper>&));

}  // namespace korvex::cli
